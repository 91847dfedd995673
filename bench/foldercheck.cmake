# The folder check beside GMime's own parse, and address extraction:
#   build-bench/bench/bench_foldercheck --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
pkg_check_modules(GMIME_BENCH REQUIRED IMPORTED_TARGET gmime-3.0)
add_executable(bench_foldercheck bench_foldercheck.cpp)
target_link_libraries(bench_foldercheck PRIVATE quillmar_bench_support quillmar_intake quillmar_outlook Qt6::Gui PkgConfig::GMIME_BENCH)
add_dependencies(quillmar_benchmarks bench_foldercheck)
