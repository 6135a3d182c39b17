# Calls across processes against a bare Unix-socket ping-pong, and across threads against a direct call.
add_executable(bench_rpc rpc_bench.cpp ${CMAKE_SOURCE_DIR}/platform/rpc/tests/probe.cpp)
target_link_libraries(bench_rpc PRIVATE vrplatform vrbenchratio)
target_compile_definitions(bench_rpc PRIVATE VR_RPC_PROBE_SERVER="$<TARGET_FILE:rpc_probe_server>")
add_dependencies(bench_rpc rpc_probe_server)
vr_target_warnings(bench_rpc)
