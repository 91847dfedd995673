# Sending the list through the mail component and libmapi32, against GMime
# writing the same messages directly (QT_QPA_PLATFORM is not needed):
#   build-bench/bench/bench_mapi --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
pkg_check_modules(BENCH_GMIME REQUIRED IMPORTED_TARGET gmime-3.0)
add_executable(bench_mapi ${CMAKE_CURRENT_LIST_DIR}/bench_mapi.cpp)
target_link_libraries(bench_mapi PRIVATE quillmar_mail quillmar_mapisetup quillmar_mapicore
  benchmark::benchmark PkgConfig::BENCH_GMIME)
target_compile_definitions(bench_mapi PRIVATE MAPI_LIBRARY_DIR="$<TARGET_FILE_DIR:mapi32>")
add_dependencies(bench_mapi mapi32)
add_dependencies(quillmar_benchmarks bench_mapi)
