# The layers of the plug-in's sources, one way from the ground up (see docs/architecture.md):
#   base -> settings, media -> documents -> serverlink | overlay | moderator -> plugin
# Every layer is a static library (its portable part, and in the cross build a `_win` library for
# its win/ folder) that links only layers below it. The build is what keeps it so:
#
#  - A library's one public include root is ${CMAKE_BINARY_DIR}/layers/<folder>, which holds
#    nothing but the link <folder> -> src/<folder>. A library sees its own folder and, through the
#    libraries it links, the folders below; `#include "overlay/overlay.h"` in a layer under the
#    overlay finds no such file. No target is ever given src/ itself as an include folder.
#  - A quoted include is first looked for beside the including file, so a path that climbs out of
#    its folder ("../overlay/overlay.h") would pass by the roots: lumvo_include_rules fails the
#    build on any include path holding "..", before a layer library compiles.

# lumvo_layer(<target> <folder> SOURCES <files in the folder...> [LINKS <libraries...>])
function(lumvo_layer target folder)
  cmake_parse_arguments(PARSE_ARGV 2 LAYER "" "" "SOURCES;LINKS")
  set(root "${CMAKE_BINARY_DIR}/layers/${folder}")
  if(NOT IS_SYMLINK "${root}/${folder}")
    file(MAKE_DIRECTORY "${root}")
    file(CREATE_LINK "${LUMVO_SOURCE_ROOT}/${folder}" "${root}/${folder}" SYMBOLIC)
  endif()
  list(TRANSFORM LAYER_SOURCES PREPEND "${LUMVO_SOURCE_ROOT}/${folder}/")
  add_library(${target} STATIC ${LAYER_SOURCES})
  target_include_directories(${target} PUBLIC "${root}")
  target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
  add_dependencies(${target} lumvo_include_rules)
endfunction()

# The include paths of every source and header under src/, checked whenever one of them changes.
function(lumvo_include_rules)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${LUMVO_SOURCE_ROOT}/*.h" "${LUMVO_SOURCE_ROOT}/*.cpp")
  set(stamp "${CMAKE_BINARY_DIR}/layers/include-rules.checked")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} -DSOURCE_ROOT=${LUMVO_SOURCE_ROOT} -DSTAMP=${stamp}
            -P "${CMAKE_SOURCE_DIR}/cmake/check_include_paths.cmake"
    DEPENDS ${sources} "${CMAKE_SOURCE_DIR}/cmake/check_include_paths.cmake"
    COMMENT "Checking that no include path under src/ climbs out of its folder")
  add_custom_target(lumvo_include_rules DEPENDS "${stamp}")
endfunction()
