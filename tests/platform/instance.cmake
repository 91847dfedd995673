# The guard is tested between real processes: copies of this child program.
add_executable(instance_child ${CMAKE_CURRENT_LIST_DIR}/instance_child.cpp)
target_link_libraries(instance_child PRIVATE quillmar_instance)

quillmar_add_test(tst_oneinstance
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_oneinstance.cpp
  LIBS quillmar_instance)
add_dependencies(tst_oneinstance instance_child)
target_compile_definitions(tst_oneinstance PRIVATE INSTANCE_CHILD="$<TARGET_FILE:instance_child>")
