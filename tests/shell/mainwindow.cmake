quillmar_add_test(tst_mainwindow SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow.cpp LIBS quillmar_shell)
quillmar_add_test(tst_shellparts SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_shellparts.cpp LIBS quillmar_shell quillmar_instance)
quillmar_add_test(tst_listcommands SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_listcommands.cpp
  LIBS quillmar_shell PkgConfig::SQLITE3)
quillmar_add_test(tst_forms SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_forms.cpp LIBS quillmar_shell)
quillmar_add_test(tst_filedialogs SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_filedialogs.cpp LIBS quillmar_shell)
add_test(NAME quillmar_sigterm COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/sigterm.sh $<TARGET_FILE_DIR:quillmar> $<TARGET_FILE:mkmailist>)
set_tests_properties(quillmar_sigterm PROPERTIES TIMEOUT 120)
