pkg_check_modules(GMIME REQUIRED IMPORTED_TARGET gmime-3.0)
add_library(quillmar_mailmessage STATIC ${CMAKE_CURRENT_LIST_DIR}/MailMessage.cpp)
target_link_libraries(quillmar_mailmessage PUBLIC Qt6::Core Qt6::Gui quillmar_platform PRIVATE PkgConfig::GMIME)
