# The unique recipient list and the send dialog's loop:
#   build-bench/bench/bench_send
add_executable(bench_send ${CMAKE_CURRENT_LIST_DIR}/bench_send.cpp)
target_link_libraries(bench_send PRIVATE quillmar_bench_support quillmar_dialogs quillmar_mapisetup PkgConfig::SQLITE3)
target_compile_definitions(bench_send PRIVATE MAPI_LIBRARY_DIR="$<TARGET_FILE_DIR:mapi32>")
add_dependencies(bench_send mapi32)
add_dependencies(quillmar_benchmarks bench_send)
