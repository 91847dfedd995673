quillmar_add_test(tst_mainwindow SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow.cpp LIBS quillmar_shell)
quillmar_add_test(tst_shellparts SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_shellparts.cpp LIBS quillmar_shell)
