quillmar_add_test(tst_mailmessage SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mailmessage.cpp LIBS quillmar_mailmessage)
