quillmar_add_test(tst_export SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_export.cpp LIBS quillmar_shell)
