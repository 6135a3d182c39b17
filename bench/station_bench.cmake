# The station's query (a JScript loop in the real scrivon through the real rigmont) against pyvisa-py's query
# of the same loopback instrument, unpinned, on the machine as it is and with one busy process per core.
add_executable(bench_station station_bench.cpp ${CMAKE_SOURCE_DIR}/platform/visa/tests/peers.cpp)
target_link_libraries(bench_station PRIVATE vrbenchratio vrcommon benchmark::benchmark)
target_include_directories(bench_station PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform/visa/tests)
target_compile_definitions(bench_station PRIVATE VR_BUILD_REGISTRY_DIR="${VR_BUILD_REGISTRY}"
                           VR_LOOPBACK_INSTRUMENT="$<TARGET_FILE:vrloopback_instrument>"
                           VR_SCRIVON="$<TARGET_FILE:scrivon>"
                           VR_PYVISA_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/pyvisa_query.py"
                           VR_BENCH_DATA="${CMAKE_SOURCE_DIR}/tests/userside/data")
add_dependencies(bench_station scrivon corvant scripvane vrscripting rigmont instrel plugmar
                 vrloopback_instrument)
vr_target_warnings(bench_station)
