add_library(quillmar_instance STATIC
  ${CMAKE_CURRENT_LIST_DIR}/OneInstance.h
  ${CMAKE_CURRENT_LIST_DIR}/OneInstance.cpp)
target_link_libraries(quillmar_instance PUBLIC quillmar_platform Qt6::Widgets)
