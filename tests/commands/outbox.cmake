# The Outbox sent through a real SMTP server started by the test.
quillmar_add_test(tst_outboxsender SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_outboxsender.cpp
  LIBS quillmar_commands quillmar_mapisetup)
target_compile_definitions(tst_outboxsender PRIVATE
  QUILLMAR_SMTP_SERVER_SCRIPT="${CMAKE_SOURCE_DIR}/tests/testlib/smtp_server.py"
  MAPI_LIBRARY_DIR="$<TARGET_FILE_DIR:mapi32>")
add_dependencies(tst_outboxsender mapi32)
# The sender in its own process, killed between a message's acceptance and its filing.
add_executable(quillmar-outboxsend ${CMAKE_CURRENT_LIST_DIR}/outboxsend_child.cpp)
target_link_libraries(quillmar-outboxsend PRIVATE quillmar_commands)
add_dependencies(tst_outboxsender quillmar-outboxsend)
target_compile_definitions(tst_outboxsender PRIVATE QUILLMAR_OUTBOXSEND="$<TARGET_FILE:quillmar-outboxsend>")
add_library(quillmar-killatmove SHARED ${CMAKE_CURRENT_LIST_DIR}/kill_at_move.cpp)
target_link_libraries(quillmar-killatmove PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(tst_outboxsender quillmar-killatmove)
target_compile_definitions(tst_outboxsender PRIVATE QUILLMAR_KILLATMOVE="$<TARGET_FILE:quillmar-killatmove>")
