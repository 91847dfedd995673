if(TARGET quillmar_intake)
  quillmar_add_test(tst_extraction SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_extraction.cpp LIBS quillmar_intake)
endif()
