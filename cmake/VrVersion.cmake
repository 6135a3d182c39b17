# Writes version.dat: "<project version> commit <commit>" of the source tree ("commit unknown" outside a git
# clone; "-dirty" when the tree has changes), rewritten only when that changed, so that nothing rebuilds.
#   cmake -DVR_SOURCE=<source folder> -DVR_VERSION=<version> -DVR_OUTPUT=<file> -P VrVersion.cmake
# Also included by the top-level build to write the file when the build is configured.
find_package(Git QUIET)
set(commit unknown)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${VR_SOURCE} describe --always --dirty --abbrev=12
                  OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(NOT failed AND described)
    set(commit ${described})
  endif()
endif()
set(line "${VR_VERSION} commit ${commit}")
set(previous "")
if(EXISTS ${VR_OUTPUT})
  file(READ ${VR_OUTPUT} previous)
endif()
if(NOT previous STREQUAL line)
  file(WRITE ${VR_OUTPUT} "${line}")
endif()
