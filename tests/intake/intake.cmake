quillmar_add_test(tst_extraction SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_extraction.cpp LIBS quillmar_intake)
quillmar_add_test(tst_foldercheck SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_foldercheck.cpp
  LIBS quillmar_intake quillmar_dialogs)
quillmar_add_test(tst_realworld SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_realworld.cpp LIBS quillmar_intake)
