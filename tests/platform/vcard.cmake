quillmar_add_test(tst_vcard SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_vcard.cpp LIBS quillmar_vcard)
