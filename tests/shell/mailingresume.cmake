# A mailing killed part way and resumed at the next start: the test program
# runs a copy of itself as the mailing to kill, through the real mail library.
quillmar_add_test(tst_mailingresume SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mailingresume.cpp
  LIBS quillmar_shell quillmar_mapisetup)
target_compile_definitions(tst_mailingresume PRIVATE MAPI_LIBRARY_DIR="$<TARGET_FILE_DIR:mapi32>"
  READ_MESSAGE_PY="${CMAKE_SOURCE_DIR}/tests/mail/read_message.py")
add_dependencies(tst_mailingresume mapi32)
