quillmar_add_test(tst_localstore SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_localstore.cpp LIBS quillmar_intake quillmar_outlook)
add_dependencies(tst_localstore quillmar-setup)
target_compile_definitions(tst_localstore PRIVATE QUILLMAR_SETUP="$<TARGET_FILE:quillmar-setup>")
