# Build helpers shared by every folder: warnings, sanitizers, test executables and deliverables.

# The registry the build registers every server into; tests start from a private copy of it.
set(VR_BUILD_REGISTRY ${CMAKE_BINARY_DIR}/registry)

set(VR_WARNINGS -Wall -Wextra -Wno-unused-parameter)

if(VR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

function(vr_add_subdirectory_if_present dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# Applies the project's warning set to a target of our own code.
function(vr_target_warnings target)
  target_compile_options(${target} PRIVATE ${VR_WARNINGS})
endfunction()

# vr_add_test(NAME name SOURCES ... [LIBS ...])
# A GoogleTest executable linked with the common test main (private registry, home and runtime folders per run).
function(vr_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE vrtestmain ${T_LIBS} GTest::gtest GTest::gmock)
  vr_target_warnings(${T_NAME})
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# vr_add_server(NAME name SOURCES ... [LIBS ...])
# An in-process server: a shared library with hidden visibility, so that every deliverable keeps its own
# module-wide state (trace state, lock counts) and exports only what it marks as exported.
function(vr_add_server)
  cmake_parse_arguments(S "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${S_NAME} SHARED ${S_SOURCES})
  set_target_properties(${S_NAME} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON PREFIX "lib")
  target_link_libraries(${S_NAME} PRIVATE ${S_LIBS} vrplatform)
  target_link_options(${S_NAME} PRIVATE -Wl,--no-undefined)
  vr_target_warnings(${S_NAME})
endfunction()

include(GoogleTest)

# vr_register_server(<target>)
# Registers a server library into the build tree's registry (vrregsvr /s) after every build of it, so that tests
# and programs run from the build tree find its classes by CLSID and ProgID.
function(vr_register_server target)
  add_dependencies(${target} vrregsvr)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VR_BUILD_REGISTRY}
    COMMAND ${CMAKE_COMMAND} -E env VORNIC_REGISTRY=${VR_BUILD_REGISTRY} $<TARGET_FILE:vrregsvr> /s $<TARGET_FILE:${target}>
    COMMENT "Registering ${target} in the build tree's registry"
    VERBATIM)
endfunction()
