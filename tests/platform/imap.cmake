quillmar_add_test(tst_imapsession SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_imapsession.cpp LIBS quillmar_imap Qt6::Network)
quillmar_add_test(tst_imapresponses SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_imapresponses.cpp LIBS quillmar_outlook)
