# The folder check and scan on an IMAP account served by a Dovecot of the test's own.
quillmar_add_test(tst_imapcheck SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_imapcheck.cpp
  LIBS quillmar_intake quillmar_outlook Qt6::Network)
