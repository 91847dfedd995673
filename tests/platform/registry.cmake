quillmar_add_test(tst_registry SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_registry.cpp LIBS quillmar_registry)
