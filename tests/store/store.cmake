quillmar_add_test(tst_mltable SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mltable.cpp ${CMAKE_CURRENT_LIST_DIR}/StoreTestUtil.h
  LIBS quillmar_store PkgConfig::SQLITE3)
quillmar_add_test(tst_validation SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_validation.cpp LIBS quillmar_store)
quillmar_add_test(tst_entryrules SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_entryrules.cpp ${CMAKE_CURRENT_LIST_DIR}/StoreTestUtil.h
  LIBS quillmar_store PkgConfig::SQLITE3)
quillmar_add_test(tst_exportlist SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_exportlist.cpp ${CMAKE_CURRENT_LIST_DIR}/StoreTestUtil.h
  LIBS quillmar_store PkgConfig::SQLITE3)
quillmar_add_test(tst_uniquerecipients SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_uniquerecipients.cpp LIBS quillmar_store)
quillmar_add_test(tst_importfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_importfile.cpp LIBS quillmar_intake PkgConfig::SQLITE3)
quillmar_add_test(tst_handledmessages SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_handledmessages.cpp LIBS quillmar_store PkgConfig::SQLITE3)
quillmar_add_test(tst_loggedsteps SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_loggedsteps.cpp LIBS quillmar_store PkgConfig::SQLITE3)

# The import crash test: a real import in a process of its own, killed at a chosen commit.
add_executable(quillmar-importrun ${CMAKE_CURRENT_LIST_DIR}/importrun.cpp)
target_link_libraries(quillmar-importrun PRIVATE quillmar_intake PkgConfig::SQLITE3)
quillmar_add_test(tst_importcrash SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_importcrash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StoreTestUtil.h LIBS quillmar_intake PkgConfig::SQLITE3)
add_dependencies(tst_importcrash quillmar-importrun)
target_compile_definitions(tst_importcrash PRIVATE QUILLMAR_IMPORTRUN="$<TARGET_FILE:quillmar-importrun>")
quillmar_add_slow_cases(tst_uniquerecipients longListAsSortKeysGiveIt)
