quillmar_add_test(tst_entrymodel SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_entrymodel.cpp LIBS quillmar_grid)
