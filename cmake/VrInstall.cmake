# Installation: `cmake --install <build> --prefix P` gives a working system at any prefix. The layout is the
# build tree's: programs, server libraries, the libraries they link and the files that the configuration items
# name (the default data source Ostrel.dsn, the starting store HwConfigStore.cfs, the blank script, sequence,
# panel and adapter file) all in P/bin, the program folder; binaries find their libraries there ($ORIGIN, set
# before the targets are made).
# Public headers go to P/include/vornic with the paths they include each other by (compile with
# -I P/include/vornic), the sample test and the sample test sequence to P/share/vornic/demo. Last,
# P/bin/vornic-register records the servers and the local server programs in the installing user's registry; a
# staged installation (DESTDIR) leaves that to each user.
# Included at the end of the top-level CMakeLists, so that this step runs after every folder's install rules.

# The in-process servers, registered by vrregsvr; the programs that register themselves with /RegServer
# (rigmont, scrivon and graphhost install themselves in their folders; so do runvex, panolix and ostrel, which
# register nothing).
set(VR_INSTALLED_SERVERS tabrisk limitor utils corvant scripvane jotwell instrel wirelo plugmar vrscripting vrvisa
                         plotvane formiq)
set(VR_SELF_REGISTERING_PROGRAMS rigmont scrivon graphhost)
set(VR_INSTALLED_LIBRARIES vrplatform vrui vrproxies xlatrix)
set(VR_INSTALLED_TOOLS scrivon_drive vrregsvr vrtrace)

foreach(target IN LISTS VR_INSTALLED_SERVERS VR_SELF_REGISTERING_PROGRAMS VR_INSTALLED_LIBRARIES
               VR_INSTALLED_TOOLS)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "VrInstall: the installation needs the target ${target}, which this build does not make")
  endif()
endforeach()

install(TARGETS ${VR_INSTALLED_SERVERS} ${VR_INSTALLED_LIBRARIES} ${VR_INSTALLED_TOOLS}
        LIBRARY DESTINATION bin RUNTIME DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/common/Ostrel.dsn ${CMAKE_SOURCE_DIR}/TestRunTime/Scrivon/Blank.JScript.ts
              ${CMAKE_SOURCE_DIR}/TestRunTime/Runvex/Blank.tsq ${CMAKE_SOURCE_DIR}/VrDev/Panolix/Blank.JScript.pnx
              ${CMAKE_SOURCE_DIR}/VrDev/Ostrel/model/AdapterBlank.daf
        DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/TestRunTime/Scrivon/demo/measure.JScript.ts
              ${CMAKE_SOURCE_DIR}/TestRunTime/Scrivon/demo/dmm-traffic.xml
        DESTINATION share/vornic/demo)
set(VR_RUNVEX_DEMO board.tsq identify.JScript.ts function.JScript.ts standby.JScript.ts meter.daf meter-traffic.xml)
list(TRANSFORM VR_RUNVEX_DEMO PREPEND ${CMAKE_SOURCE_DIR}/TestRunTime/Runvex/demo/)
install(FILES ${VR_RUNVEX_DEMO} DESTINATION share/vornic/demo)

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
