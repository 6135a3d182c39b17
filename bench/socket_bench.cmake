# The socket benchmark: a socket property read against the loopback instrument versus the bare connection
# query of the same command, in one run: the socket's own share of the time.
add_executable(bench_socket socket_bench.cpp ${CMAKE_SOURCE_DIR}/platform/visa/tests/peers.cpp)
target_link_libraries(bench_socket PRIVATE vrplatform benchmark::benchmark)
target_include_directories(bench_socket PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/instruments/Plugmar/include
                           ${CMAKE_SOURCE_DIR}/instruments/Instrel/include ${CMAKE_SOURCE_DIR}/platform/visa/tests)
target_compile_definitions(bench_socket PRIVATE VR_BUILD_REGISTRY_DIR="${VR_BUILD_REGISTRY}"
                           VR_LOOPBACK_INSTRUMENT="$<TARGET_FILE:vrloopback_instrument>"
                           PLUGMAR_BENCH_DATA="${CMAKE_SOURCE_DIR}/tests/data")
add_dependencies(bench_socket plugmar instrel tabrisk vrvisa vrloopback_instrument)
vr_target_warnings(bench_socket)
