# Fails when an #include under SOURCE_ROOT names a path with "..": such an include is found beside
# the including file and so past the layers' include roots (cmake/lumvo_layers.cmake).
file(GLOB_RECURSE files "${SOURCE_ROOT}/*.h" "${SOURCE_ROOT}/*.cpp")
set(found "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\.")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH name "${SOURCE_ROOT}" "${file}")
    string(APPEND found "\n  src/${name}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "an include path climbs out of its folder; include through the layers' roots "
                      "(\"layer/file.h\") instead:${found}")
endif()
file(TOUCH "${STAMP}")
