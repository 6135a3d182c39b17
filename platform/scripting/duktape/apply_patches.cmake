# Copies Duktape's packaged source to TARGET and applies PATCHES (a list, in order) to the copy; a patch that
# does not apply exactly fails the build.
get_filename_component(folder ${TARGET} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
configure_file(${SOURCE} ${TARGET}.new COPYONLY)
foreach(patch_file IN LISTS PATCHES)
  execute_process(COMMAND patch --quiet --forward --fuzz=0 --no-backup-if-mismatch ${TARGET}.new -i ${patch_file}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(REMOVE ${TARGET}.new)
    message(FATAL_ERROR "Duktape patch ${patch_file} does not apply to ${SOURCE}")
  endif()
endforeach()
file(RENAME ${TARGET}.new ${TARGET})
