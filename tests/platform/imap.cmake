quillmar_add_test(tst_imapsession SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_imapsession.cpp LIBS quillmar_imap Qt6::Network)
