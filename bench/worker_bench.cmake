# The test-execution worker's own time per test against the same calls made directly.
add_executable(bench_worker worker_bench.cpp)
target_link_libraries(bench_worker PRIVATE vrbenchratio vrcommon vrproxies scripvane_testfakes)
target_include_directories(bench_worker PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(bench_worker PRIVATE VR_BUILD_REGISTRY_DIR="${VR_BUILD_REGISTRY}")
add_dependencies(bench_worker corvant scripvane vrscripting)
vr_target_warnings(bench_worker)
