quillmar_add_test(tst_rtfreader SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_rtfreader.cpp LIBS quillmar_richtext)
# The test reads the help document where the build places it, beside the program.
add_dependencies(tst_rtfreader quillmar_help)
target_compile_definitions(tst_rtfreader PRIVATE QUILLMAR_HELP_RTF="${QUILLMAR_BIN_DIR}/QMHelp.rtf")
