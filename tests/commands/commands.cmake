quillmar_add_test(tst_optionsedit SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_optionsedit.cpp LIBS quillmar_commands)
