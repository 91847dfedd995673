quillmar_add_test(tst_maildirfolder SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_maildirfolder.cpp LIBS quillmar_maildir)
