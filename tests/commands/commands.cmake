quillmar_add_test(tst_optionsedit SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_optionsedit.cpp LIBS quillmar_commands)
# Through the recording fake of the mail library.
quillmar_add_test(tst_mailing SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mailing.cpp LIBS quillmar_commands)
target_compile_definitions(tst_mailing PRIVATE FAKE_MAPI_DIR="$<TARGET_FILE_DIR:fakemapi>")
add_dependencies(tst_mailing fakemapi)
quillmar_add_test(tst_categoryview SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_categoryview.cpp LIBS quillmar_commands)
