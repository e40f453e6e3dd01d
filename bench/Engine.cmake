# The tone engine's benchmarks, with sox on the same file as the outside reference.
add_executable(aubrevane-engine-bench ${CMAKE_CURRENT_LIST_DIR}/EngineBench.cpp)
target_link_libraries(aubrevane-engine-bench PRIVATE aubrevane_dsp benchmark::benchmark Threads::Threads)
# The 480 s comparison file is generated here once and reused by later runs.
target_compile_definitions(aubrevane-engine-bench PRIVATE AUBREVANE_BENCH_DATA_DIR="${CMAKE_CURRENT_BINARY_DIR}")
add_dependencies(benchmarks aubrevane-engine-bench)
