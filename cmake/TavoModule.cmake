# Warning flags for our own code, and per-module include roots.
add_library(tavo_warnings INTERFACE)
target_compile_options(tavo_warnings INTERFACE -Wall -Wextra -Werror)

# tavo_module_includes(<target> <module> [EXCLUDE <subfolder>...])
# Makes `#include "<module>/X.h"` work for the module's target and for the targets that
# link it, and for no one else: each module gets an include root of its own holding a
# link to its source folder, so a lower module cannot reach a higher module's headers.
# A module may be a subfolder of another ("app/main"); the outer module then names it
# under EXCLUDE, and its root links each entry of its folder but that subfolder, so the
# subfolder's headers are reachable only through the inner module's own root.
function(tavo_module_includes target module)
  cmake_parse_arguments(M "" "" "EXCLUDE" ${ARGN})
  string(REPLACE "/" "-" rootName ${module})
  set(root ${CMAKE_BINARY_DIR}/include/${rootName})
  set(source ${PROJECT_SOURCE_DIR}/${module})
  set(link ${root}/${module})
  get_filename_component(linkParent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${linkParent})
  if(NOT M_EXCLUDE)
    if(IS_DIRECTORY ${link} AND NOT IS_SYMLINK ${link})
      file(REMOVE_RECURSE ${link})
    endif()
    if(NOT EXISTS ${link})
      file(CREATE_LINK ${source} ${link} SYMBOLIC)
    endif()
  else()
    if(IS_SYMLINK ${link})
      file(REMOVE ${link})
    endif()
    file(MAKE_DIRECTORY ${link})
    # New files in the folder re-run the configuration, which links them too.
    file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true RELATIVE ${source} ${source}/*)
    list(REMOVE_ITEM entries ${M_EXCLUDE})
    file(GLOB present LIST_DIRECTORIES true RELATIVE ${link} ${link}/*)
    foreach(entry IN LISTS present)
      if(NOT entry IN_LIST entries)
        file(REMOVE ${link}/${entry})
      endif()
    endforeach()
    foreach(entry IN LISTS entries)
      if(NOT EXISTS ${link}/${entry} AND NOT IS_SYMLINK ${link}/${entry})
        file(CREATE_LINK ${source}/${entry} ${link}/${entry} SYMBOLIC)
      endif()
    endforeach()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
