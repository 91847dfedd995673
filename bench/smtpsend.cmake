# Sending the Outbox over loopback SMTP beside libcurl alone, in the same run:
#   build-bench/bench/bench_smtpsend            (a C++ sink on a thread)
#   build-bench/bench/bench_smtpsend --aiosmtpd (the tests' Python server)
# x_raw is the sender's time over the floor's; peak_MB the sender's peak.
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
add_executable(bench_smtpsend ${CMAKE_CURRENT_LIST_DIR}/bench_smtpsend.cpp)
target_link_libraries(bench_smtpsend PRIVATE quillmar_bench_support quillmar_commands PkgConfig::CURL)
target_compile_definitions(bench_smtpsend PRIVATE
  QUILLMAR_SMTP_SERVER_SCRIPT="${CMAKE_SOURCE_DIR}/tests/testlib/smtp_server.py")
add_dependencies(quillmar_benchmarks bench_smtpsend)
