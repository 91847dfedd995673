# The folder check beside its raw floor (without and through its window),
# and address extraction:
#   build-bench/bench/bench_foldercheck --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#   build-bench/bench/bench_checkwindow --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
# and the recogniser alone, with delivery reports read and not:
#   build-bench/bench/bench_recogniser --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
# QUILLMAR_BENCH_LONG=1 adds 100k messages (minutes per repetition).
pkg_check_modules(GMIME_BENCH REQUIRED IMPORTED_TARGET gmime-3.0)
add_library(quillmar_folder_bench STATIC FolderBench.cpp)
target_link_libraries(quillmar_folder_bench PUBLIC quillmar_bench_support quillmar_intake quillmar_outlook
                      PkgConfig::GMIME_BENCH PRIVATE PkgConfig::SQLITE3)
add_executable(bench_foldercheck bench_foldercheck.cpp)
target_link_libraries(bench_foldercheck PRIVATE quillmar_folder_bench Qt6::Gui)
add_executable(bench_checkwindow bench_checkwindow.cpp)
target_link_libraries(bench_checkwindow PRIVATE quillmar_folder_bench quillmar_dialogs)
add_executable(bench_recogniser bench_recogniser.cpp)
target_link_libraries(bench_recogniser PRIVATE quillmar_folder_bench Qt6::Gui)
add_dependencies(quillmar_benchmarks bench_foldercheck bench_checkwindow bench_recogniser)
