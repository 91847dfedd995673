# The folder check on an IMAP account against Dovecot on loopback, with its raw floor:
#   build-bench/bench/bench_imapcheck
# x_raw is the check's time over the floor's, both measured in the same run.
add_executable(bench_imapcheck bench_imapcheck.cpp)
target_link_libraries(bench_imapcheck PRIVATE quillmar_bench_support quillmar_intake quillmar_outlook Qt6::Network
  PkgConfig::SQLITE3)
add_dependencies(quillmar_benchmarks bench_imapcheck)
