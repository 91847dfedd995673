# Import per line beside plain SQLite (and, with bare:1, beside bare insertentry calls), and the
# folder scan beside GMime's parse:
#   build-bench/bench/bench_import --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
# x_raw_cpu is processor time over the plain statements' on the same file, x_raw wall time.
add_executable(bench_import bench_import.cpp)
target_link_libraries(bench_import PRIVATE quillmar_bench_support quillmar_intake quillmar_outlook Qt6::Gui PkgConfig::GMIME_BENCH
  PkgConfig::SQLITE3)
add_dependencies(quillmar_benchmarks bench_import)
