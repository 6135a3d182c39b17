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
  if(VR_SANITIZE)
    # Programs the test starts inherit it, so their exit's leak check skips the same third-party leaks.
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan-suppressions.txt")
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  endif()
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

# vr_embed_resources(<target> [LANGUAGE <number>] TYPE <type> NAME <name> FILE <file> [TYPE .. NAME .. FILE ..]...)
# Writes the files into the target's own file as resources (vrres) after every link, and makes a change of one
# of the files relink the target, so the step runs again. A type or name is decimal digits (a number), RT_HTML,
# RT_RCDATA (types only) or a name, e.g. TYPE RT_HTML NAME Attributes.xml FILE Attributes.xml or
# TYPE TYPELIB NAME 1 FILE x.tlb; LANGUAGE applies to every resource of the call (default 0, neutral).
# A relative FILE is taken from the current source folder. Call it before vr_register_server: registration
# may read the resources, and steps after linking run in the order they were added.
function(vr_embed_resources target)
  set(args ${ARGN})
  list(LENGTH args count)
  set(language_args "")
  set(resource_args "")
  set(files "")
  set(i 0)
  while(i LESS count)
    list(GET args ${i} keyword)
    math(EXPR next "${i} + 1")
    if(keyword STREQUAL "LANGUAGE" AND next LESS count)
      list(GET args ${next} language)
      set(language_args --language ${language})
      math(EXPR i "${i} + 2")
    elseif(keyword STREQUAL "TYPE")
      math(EXPR last "${i} + 5")
      if(last GREATER_EQUAL count)
        message(FATAL_ERROR "vr_embed_resources(${target}): TYPE needs NAME <name> FILE <file> after it")
      endif()
      math(EXPR name_key "${i} + 2")
      math(EXPR name_index "${i} + 3")
      math(EXPR file_key "${i} + 4")
      list(GET args ${next} type)
      list(GET args ${name_key} name_keyword)
      list(GET args ${name_index} name)
      list(GET args ${file_key} file_keyword)
      list(GET args ${last} file)
      if(NOT name_keyword STREQUAL "NAME" OR NOT file_keyword STREQUAL "FILE")
        message(FATAL_ERROR "vr_embed_resources(${target}): expected TYPE <type> NAME <name> FILE <file>")
      endif()
      get_filename_component(file "${file}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND resource_args ${type} ${name} ${file})
      list(APPEND files ${file})
      math(EXPR i "${i} + 6")
    else()
      message(FATAL_ERROR "vr_embed_resources(${target}): unexpected argument '${keyword}'")
    endif()
  endwhile()
  if(NOT resource_args)
    message(FATAL_ERROR "vr_embed_resources(${target}): no TYPE <type> NAME <name> FILE <file> given")
  endif()
  # vr_register_server makes its target depend on vrregsvr: its registration step is then already in place and
  # would run before the resources are there.
  get_target_property(dependencies ${target} MANUALLY_ADDED_DEPENDENCIES)
  if(dependencies AND "vrregsvr" IN_LIST dependencies)
    message(FATAL_ERROR "vr_embed_resources(${target}) must come before vr_register_server(${target})")
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${files})
  add_dependencies(${target} vrres)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND $<TARGET_FILE:vrres> ${language_args} $<TARGET_FILE:${target}> ${resource_args}
    COMMENT "Embedding resources into ${target}"
    VERBATIM)
endfunction()

# Fuzz targets (libFuzzer). They need clang: when clang++ is at hand, can link libFuzzer and this is no
# sanitizer build, the code under test is compiled once more with clang, with fuzzer, address and
# undefined-behaviour instrumentation, and linked against this build's libraries; a ctest runs the target for
# twenty seconds from the folder's seeds (new inputs are kept in the build folder, the seeds stay as they are).
# Each target's source says how to run it longer.
option(VR_FUZZ "Build the fuzz targets with clang when it can link libFuzzer" ON)

# Whether fuzz targets can be built here; the clang probe runs once per build folder.
function(vr_fuzz_available result)
  set(${result} FALSE PARENT_SCOPE)
  find_program(VR_FUZZ_CLANGXX NAMES clang++ clang++-14)
  if(NOT VR_FUZZ OR NOT VR_FUZZ_CLANGXX OR VR_SANITIZE)
    return()
  endif()
  if(NOT DEFINED VR_FUZZ_LINKS)
    # clang without its fuzzer runtime (compiler-rt) cannot link a target.
    set(probe_dir ${CMAKE_BINARY_DIR}/fuzz-probe)
    file(WRITE ${probe_dir}/probe.cpp
         "#include <cstddef>\n#include <cstdint>\n"
         "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n")
    execute_process(COMMAND ${VR_FUZZ_CLANGXX} -fsanitize=fuzzer,address,undefined ${probe_dir}/probe.cpp
                            -o ${probe_dir}/probe
                    RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
    if(probe_result EQUAL 0)
      set(VR_FUZZ_LINKS TRUE CACHE INTERNAL "clang links libFuzzer")
    else()
      set(VR_FUZZ_LINKS FALSE CACHE INTERNAL "clang links libFuzzer")
      message(STATUS "${VR_FUZZ_CLANGXX} cannot link libFuzzer; the fuzz targets are left out")
    endif()
  endif()
  set(${result} ${VR_FUZZ_LINKS} PARENT_SCOPE)
endfunction()

# vr_add_fuzz_target(NAME n SOURCES files... LIBS targets... DEPENDS files... MAX_LEN bytes [DEFINES defs...]
#                    [INCLUDES folders...] [SEEDS files...] COMMENT text): the target n built from n.cpp and SOURCES (paths relative to
# the calling folder), linked against the LIBS targets, and its ctest. Its seeds are the repository's own
# files named by SEEDS (copied into the build folder when configured), else the folder's seeds/; each target
# keeps its new inputs in a corpus folder of its own.
function(vr_add_fuzz_target)
  cmake_parse_arguments(FUZZ "" "NAME;MAX_LEN;COMMENT" "SOURCES;LIBS;DEPENDS;DEFINES;INCLUDES;SEEDS" ${ARGN})
  vr_fuzz_available(available)
  if(NOT available)
    return()
  endif()
  set(binary ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${FUZZ_NAME})
  list(TRANSFORM FUZZ_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  list(TRANSFORM FUZZ_DEFINES PREPEND -D)
  list(TRANSFORM FUZZ_INCLUDES PREPEND -I)
  set(flags -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer -I${CMAKE_SOURCE_DIR} ${FUZZ_INCLUDES} ${FUZZ_DEFINES})
  set(libraries)
  foreach(library IN LISTS FUZZ_LIBS)
    list(APPEND libraries $<TARGET_FILE:${library}>)
  endforeach()
  add_custom_command(
    OUTPUT ${binary}
    COMMAND ${VR_FUZZ_CLANGXX} ${flags} ${CMAKE_CURRENT_SOURCE_DIR}/${FUZZ_NAME}.cpp ${FUZZ_SOURCES}
            ${libraries} -Wl,-rpath,$<TARGET_FILE_DIR:vrplatform> -o ${binary}
    DEPENDS ${FUZZ_NAME}.cpp ${FUZZ_SOURCES} ${FUZZ_DEPENDS} ${FUZZ_LIBS}
    COMMENT "Building ${FUZZ_COMMENT} with clang"
    VERBATIM)
  add_custom_target(${FUZZ_NAME} ALL DEPENDS ${binary})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${FUZZ_NAME}-corpus)
  file(MAKE_DIRECTORY ${corpus})
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/seeds)
  if(FUZZ_SEEDS)
    set(seeds ${CMAKE_CURRENT_BINARY_DIR}/${FUZZ_NAME}-seeds)
    foreach(seed IN LISTS FUZZ_SEEDS)
      get_filename_component(seed_name ${seed} NAME)
      configure_file(${CMAKE_SOURCE_DIR}/${seed} ${seeds}/${seed_name} COPYONLY)
    endforeach()
  endif()
  add_test(NAME ${FUZZ_NAME}
           COMMAND ${binary} ${corpus} ${seeds} -max_total_time=20 -max_len=${FUZZ_MAX_LEN}
                   -timeout=10 -rss_limit_mb=2048 -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${FUZZ_NAME} PROPERTIES TIMEOUT 120 LABELS fuzz)
endfunction()

# vr_add_type_library(<target> SOURCES <files> LIBS <libraries>)
# The target's type library, written at build time from its description (SOURCES define
# vr::typelib::ModuleLibrarySpec over the classes' dispatch tables, linked from LIBS) by a small program, and
# embedded into the target's file as its resource TYPELIB 1, so the library cannot drift from what the
# objects answer. Call it before vr_register_server, whose registration records the embedded library.
function(vr_add_type_library target)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  set(writer ${target}_typelib_writer)
  add_executable(${writer} ${L_SOURCES} ${CMAKE_SOURCE_DIR}/platform/com/typelib_writer_main.cpp)
  set_target_properties(${writer} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${writer} PRIVATE ${L_LIBS} vrplatform)
  # The classes' sources may be compiled into the writer too: it sees what the target sees.
  target_include_directories(${writer} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
  vr_target_warnings(${writer})
  set(library_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.tlb)
  add_custom_command(OUTPUT ${library_file}
    COMMAND $<TARGET_FILE:${writer}> ${library_file}
    DEPENDS ${writer}
    COMMENT "Writing the type library of ${target}"
    VERBATIM)
  add_custom_target(${target}_typelib DEPENDS ${library_file})
  add_dependencies(${target} ${target}_typelib)
  vr_embed_resources(${target} TYPE TYPELIB NAME 1 FILE ${library_file})
endfunction()
