# The log, error and options windows over large records:
#   build-bench/bench/bench_dialogs
add_executable(bench_dialogs bench_dialogs.cpp)
target_link_libraries(bench_dialogs PRIVATE quillmar_bench_support quillmar_dialogs PkgConfig::SQLITE3)
add_dependencies(quillmar_benchmarks bench_dialogs)
