# The VISA connection benchmark: one query through the connection against a raw socket and against
# pyvisa-py, on the loopback instrument; a 1 MB answer through the session and the connection against a raw
# socket.
add_executable(bench_instrel instrel_bench.cpp)
target_link_libraries(bench_instrel PRIVATE vrbenchratio vrplatform)
target_include_directories(bench_instrel PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/instruments/Instrel/include)
target_compile_definitions(bench_instrel PRIVATE VR_BUILD_REGISTRY_DIR="${VR_BUILD_REGISTRY}"
                           VR_LOOPBACK_INSTRUMENT="$<TARGET_FILE:vrloopback_instrument>"
                           VR_PYVISA_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/pyvisa_query.py")
add_dependencies(bench_instrel instrel vrloopback_instrument)
vr_target_warnings(bench_instrel)
