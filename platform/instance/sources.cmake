target_sources(quillmar_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/InstanceObjects.h
  ${CMAKE_CURRENT_LIST_DIR}/InstanceObjects_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuardChannel.h
  ${CMAKE_CURRENT_LIST_DIR}/GuardChannel.cpp)
find_package(Threads REQUIRED)
# shm_open and sem_open live in librt and libpthread on older C libraries.
target_link_libraries(quillmar_platform PUBLIC Qt6::Network PRIVATE Threads::Threads rt)
