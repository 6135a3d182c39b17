# The road of one test with one instrument query against the bare query of the same command (wall-clock ratios).
add_executable(bench_road road_bench.cpp ${CMAKE_SOURCE_DIR}/platform/visa/tests/peers.cpp)
target_link_libraries(bench_road PRIVATE vrbenchratio vrcommon vrproxies benchmark::benchmark)
target_include_directories(bench_road PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform/visa/tests)
target_compile_definitions(bench_road PRIVATE VR_BUILD_REGISTRY_DIR="${VR_BUILD_REGISTRY}"
                           VR_LOOPBACK_INSTRUMENT="$<TARGET_FILE:vrloopback_instrument>"
                           VR_BENCH_DATA="${CMAKE_SOURCE_DIR}/tests/data")
add_dependencies(bench_road corvant scripvane vrscripting rigmont instrel plugmar vrloopback_instrument)
vr_target_warnings(bench_road)
