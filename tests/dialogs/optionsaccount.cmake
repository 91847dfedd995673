quillmar_add_test(tst_optionsaccount SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_optionsaccount.cpp
  LIBS quillmar_dialogs Qt6::Network)
