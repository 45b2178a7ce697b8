# Warning flags for our own code, and per-module include roots.
add_library(tavo_warnings INTERFACE)
target_compile_options(tavo_warnings INTERFACE -Wall -Wextra -Werror)

# Makes `#include "<module>/X.h"` work for the module's target and for the targets that
# link it, and for no one else: each module gets an include root of its own holding one
# link to its source folder, so a lower module cannot reach a higher module's headers.
function(tavo_module_includes target module)
  set(root ${CMAKE_BINARY_DIR}/include/${module})
  file(MAKE_DIRECTORY ${root})
  if(NOT EXISTS ${root}/${module})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${module} ${root}/${module} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
