pkg_check_modules(GMIME REQUIRED IMPORTED_TARGET gmime-3.0)
# Only MailMessage.cpp and the notice parts it walks talk to GMime; the
# other parts decode plain bytes.
add_library(quillmar_mailmessage STATIC
  ${CMAKE_CURRENT_LIST_DIR}/MailMessage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageReportParts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageHeaderText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageAddresses.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageDate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageBodyText.cpp)
target_link_libraries(quillmar_mailmessage PUBLIC Qt6::Core PRIVATE quillmar_text PkgConfig::GMIME)
target_sources(quillmar_mailmessage PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MessageHtmlText.cpp)
