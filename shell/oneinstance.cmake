add_library(quillmar_oneinstance STATIC
  ${CMAKE_CURRENT_LIST_DIR}/OneInstance.h
  ${CMAKE_CURRENT_LIST_DIR}/OneInstance.cpp)
target_link_libraries(quillmar_oneinstance PUBLIC quillmar_instance Qt6::Widgets)
