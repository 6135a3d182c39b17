# Installation: `cmake --install <build> --prefix P` gives a working system at any prefix. The layout is the
# build tree's: programs, server libraries, the libraries they link and the files that the configuration items
# name (the default data source Ostrel.dsn, the starting store HwConfigStore.cfs, the blank script, sequence,
# panel and adapter file) all in P/bin, the program folder; binaries find their libraries there ($ORIGIN, set
# before the targets are made). The loopback instrument, the user guide's stand-in supply, is a program there.
# Public headers go to P/include/vornic with the paths they include each other by (compile with
# -I P/include/vornic), the sample test and the sample test sequence to P/share/vornic/demo, ready to run from
# there: their folder and the simulated meter filled in, and the meter's records in the starting store, so the
# sample's saves change nothing and it runs for every user of the station without writing a shared file. The
# starting store is installed only where none is: a station's store is its own. Last,
# P/bin/vornic-register records the servers and the local server programs in the installing user's registry; a
# staged installation (DESTDIR) leaves that to each user.
# Included at the end of the top-level CMakeLists, so that this step runs after every folder's install rules.

# The in-process servers, registered by vrregsvr; the programs that register themselves with /RegServer
# (rigmont, scrivon and graphhost install themselves in their folders; so do runvex, panolix and ostrel, which
# register nothing).
set(VR_INSTALLED_SERVERS tabrisk limitor utils corvant scripvane jotwell instrel wirelo plugmar vrscripting vrvisa
                         plotvane formiq)
set(VR_SELF_REGISTERING_PROGRAMS rigmont scrivon graphhost)
# templon is the template the studio copies per device: installed, never registered itself.
set(VR_INSTALLED_LIBRARIES vrplatform vrui vrproxies xlatrix templon)
set(VR_INSTALLED_TOOLS scrivon_drive vrregsvr vrreg vrtrace vrloopback_instrument)

foreach(target IN LISTS VR_INSTALLED_SERVERS VR_SELF_REGISTERING_PROGRAMS VR_INSTALLED_LIBRARIES
               VR_INSTALLED_TOOLS)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "VrInstall: the installation needs the target ${target}, which this build does not make")
  endif()
endforeach()

install(TARGETS ${VR_INSTALLED_SERVERS} ${VR_INSTALLED_LIBRARIES} ${VR_INSTALLED_TOOLS}
        LIBRARY DESTINATION bin RUNTIME DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/common/config/Ostrel.dsn ${CMAKE_SOURCE_DIR}/TestRunTime/Scrivon/Blank.JScript.ts
              ${CMAKE_SOURCE_DIR}/TestRunTime/Runvex/Blank.tsq ${CMAKE_SOURCE_DIR}/VrDev/Panolix/Blank.JScript.pnx
              ${CMAKE_SOURCE_DIR}/VrDev/Ostrel/model/AdapterBlank.daf
        DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/TestRunTime/Scrivon/demo/dmm-traffic.xml
              ${CMAKE_SOURCE_DIR}/TestRunTime/Runvex/demo/meter.daf
              ${CMAKE_SOURCE_DIR}/TestRunTime/Runvex/demo/meter-traffic.xml
        DESTINATION share/vornic/demo)

# The sample's scripts and sequence with their placeholders filled for the prefix, as scripts/demo fills them
# for the build tree; and the starting store with the records the sample saves, written as the sample saves
# them (Server, Resource, SetupString), so that its SaveRecord finds them as they are.
set(VR_DEMO_TEMPLATES ${CMAKE_SOURCE_DIR}/TestRunTime/Scrivon/demo/measure.JScript.ts)
foreach(file board.tsq identify.JScript.ts function.JScript.ts standby.JScript.ts)
  list(APPEND VR_DEMO_TEMPLATES ${CMAKE_SOURCE_DIR}/TestRunTime/Runvex/demo/${file})
endforeach()
set(VR_STARTING_STORE ${CMAKE_SOURCE_DIR}/Rigmont/HwConfigStore.cfs)
install(CODE "set(VR_DEMO_TEMPLATES \"${VR_DEMO_TEMPLATES}\")
set(VR_STARTING_STORE \"${VR_STARTING_STORE}\")")
install(CODE [[
  set(demo "${CMAKE_INSTALL_PREFIX}/share/vornic/demo")
  set(meter "TCPIP0::127.0.0.1::5025::SOCKET")
  foreach(template IN LISTS VR_DEMO_TEMPLATES)
    file(READ "${template}" text)
    string(REPLACE "@DEMO_DIR@" "${demo}" text "${text}")
    string(REPLACE "@METER_RESOURCE@" "${meter}" text "${text}")
    string(REPLACE "@METER_SETUP@" "Simulation=RandomRead" text "${text}")
    get_filename_component(name "${template}" NAME)
    message(STATUS "Installing: $ENV{DESTDIR}${demo}/${name}")
    file(WRITE "$ENV{DESTDIR}${demo}/${name}" "${text}")
  endforeach()

  function(vr_store_record type name server resource setup out)
    set(${out} "		<${type} name='${name}'>
			<Server>${server}</Server>
			<Resource>${resource}</Resource>
			<SetupString>${setup}</SetupString>
		</${type}>
" PARENT_SCOPE)
  endfunction()
  vr_store_record(connection DemoMeter Vornic.CnVISA "${meter}"
                  "Simulation=RandomRead SimulationFile='${demo}/dmm-traffic.xml'" sample_connection)
  vr_store_record(connection DemoMeterLink Vornic.CnVISA "${meter}"
                  "Simulation=RandomRead SimulationFile='${demo}/meter-traffic.xml'" sequence_connection)
  vr_store_record(socket DemoMeter Vornic.Socket DemoMeterLink "AdapterFile='${demo}/meter.daf'" sequence_socket)
  set(store "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/HwConfigStore.cfs")
  if(EXISTS "${store}")
    message(STATUS "Kept the station's store: ${store}")
  else()
    file(READ "${VR_STARTING_STORE}" text)
    string(REPLACE "	</connections>" "${sample_connection}${sequence_connection}	</connections>" text "${text}")
    string(REPLACE "	</sockets>" "${sequence_socket}	</sockets>" text "${text}")
    message(STATUS "Installing: ${store}")
    file(WRITE "${store}" "${text}")
  endif()
]])

# Public headers: each server's include/ folder, the plain libraries' headers, and the platform headers they
# are built on.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/platform/ DESTINATION include/vornic/platform
        FILES_MATCHING PATTERN "*.h" PATTERN "*.inc" PATTERN "tests" EXCLUDE PATTERN "fuzz" EXCLUDE
                       PATTERN "server" EXCLUDE)
foreach(folder attributes Utils DataManagement/Limitor TestRunTime/Corvant TestRunTime/Scripvane
               TestRunTime/Scrivon Rigmont instruments/Jotwell instruments/Instrel instruments/Wirelo
               instruments/Plugmar VrDev/PlotvaneCtrl controls/Formiq)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${folder}/include/ DESTINATION include/vornic/${folder}/include)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/instruments/Xlatrix/Xlatrix.h DESTINATION include/vornic/instruments/Xlatrix)
install(FILES ${CMAKE_SOURCE_DIR}/common/proxies/SystemProxies.h DESTINATION include/vornic/common/proxies)

# The registration script, with the file names of this build's servers.
set(VR_REGISTER_SERVERS "")
foreach(server IN LISTS VR_INSTALLED_SERVERS)
  string(APPEND VR_REGISTER_SERVERS " \"$here/$<TARGET_FILE_NAME:${server}>\"")
endforeach()
string(STRIP "${VR_REGISTER_SERVERS}" VR_REGISTER_SERVERS)
list(JOIN VR_SELF_REGISTERING_PROGRAMS " " VR_REGISTER_PROGRAMS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vornic-register.in ${CMAKE_BINARY_DIR}/vornic-register.in @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/vornic-register INPUT ${CMAKE_BINARY_DIR}/vornic-register.in
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(PROGRAMS ${CMAKE_BINARY_DIR}/vornic-register DESTINATION bin)

install(CODE [[
  if(NOT "$ENV{DESTDIR}" STREQUAL "")
    message(STATUS "Staged installation: each user of the station runs ${CMAKE_INSTALL_PREFIX}/bin/vornic-register once")
  else()
    execute_process(COMMAND "${CMAKE_INSTALL_PREFIX}/bin/vornic-register" RESULT_VARIABLE registered)
    if(NOT registered EQUAL 0)
      message(FATAL_ERROR "Recording the servers and programs in the registry failed (${registered})")
    endif()
    message(STATUS "Servers and programs recorded in the registry of this user")
  endif()
]])
