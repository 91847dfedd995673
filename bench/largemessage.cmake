# Large input: a message of hundreds of megabytes and a large HTML body
# against GMime's parse of the same file, and exports of registry and
# contact files that delete or break many lines:
#   build-bench/bench/bench_largemessage --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
add_executable(bench_largemessage ${CMAKE_CURRENT_LIST_DIR}/bench_largemessage.cpp)
target_link_libraries(bench_largemessage PRIVATE quillmar_bench_support quillmar_mailmessage quillmar_vcard quillmar_registry
  PkgConfig::BENCH_GMIME)
add_dependencies(quillmar_benchmarks bench_largemessage)
