quillmar_add_test(tst_settingsstore SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_settingsstore.cpp LIBS quillmar_core quillmar_registry)
quillmar_add_test(tst_textfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_textfile.cpp LIBS quillmar_core)
quillmar_add_test(tst_workingfiles SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_workingfiles.cpp LIBS quillmar_core)
