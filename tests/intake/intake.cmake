quillmar_add_test(tst_extraction SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_extraction.cpp LIBS quillmar_intake)
quillmar_add_test(tst_foldercheck SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_foldercheck.cpp
  LIBS quillmar_intake quillmar_outlook quillmar_dialogs PkgConfig::SQLITE3)
quillmar_add_test(tst_realworld SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_realworld.cpp LIBS quillmar_intake quillmar_mailmessage)
quillmar_add_test(tst_deliveryreports SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_deliveryreports.cpp
  LIBS quillmar_intake quillmar_mailmessage)
quillmar_add_test(tst_failurenotices SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_failurenotices.cpp LIBS quillmar_intake)
quillmar_add_test(tst_textmatch SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_textmatch.cpp LIBS quillmar_intake)

# The crash test: the real check in a process of its own, killed at random.
add_executable(quillmar-checkrun ${CMAKE_CURRENT_LIST_DIR}/checkrun.cpp)
target_link_libraries(quillmar-checkrun PRIVATE quillmar_intake)
quillmar_add_test(tst_crashcheck SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_crashcheck.cpp
  LIBS quillmar_intake PkgConfig::SQLITE3)
add_dependencies(tst_crashcheck quillmar-checkrun)
target_compile_definitions(tst_crashcheck PRIVATE QUILLMAR_CHECKRUN="$<TARGET_FILE:quillmar-checkrun>")
quillmar_add_slow_cases(tst_foldercheck twentyMegabyteMessages)
