# The folder check and scan on an IMAP account served by a Dovecot of the test's own.
quillmar_add_test(tst_imapcheck SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_imapcheck.cpp
  LIBS quillmar_intake quillmar_outlook Qt6::Network)
add_dependencies(tst_imapcheck quillmar-checkrun)
target_compile_definitions(tst_imapcheck PRIVATE QUILLMAR_CHECKRUN="$<TARGET_FILE:quillmar-checkrun>")
