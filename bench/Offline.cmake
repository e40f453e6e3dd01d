# Learning a target from a reference file: decoding and the offline measurement, each beside its plain baseline.
pkg_check_modules(SNDFILE_FOR_BENCH REQUIRED IMPORTED_TARGET sndfile)
add_executable(aubrevane-offline-bench ${CMAKE_CURRENT_LIST_DIR}/OfflineBench.cpp)
target_link_libraries(aubrevane-offline-bench PRIVATE aubrevane_offline PkgConfig::SNDFILE_FOR_BENCH benchmark::benchmark)
target_compile_definitions(aubrevane-offline-bench PRIVATE AUBREVANE_BENCH_DATA_DIR="${CMAKE_CURRENT_BINARY_DIR}")
add_dependencies(benchmarks aubrevane-offline-bench)
