target_sources(quillmar_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Registry.h
  ${CMAKE_CURRENT_LIST_DIR}/Registry_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegFormat.h
  ${CMAKE_CURRENT_LIST_DIR}/RegFormat.cpp)
