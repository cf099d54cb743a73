# halvex_include_root(<target> <folder>): publishes the target's headers as "<folder>/Name.h"
# and nothing else. The include root in the build folder holds one link, to src/<folder>, so a
# library reaches only the headers of the libraries it links: a layer that includes a header
# from above itself fails to compile instead of quietly growing a loop.
function(halvex_include_root target folder)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  cmake_path(GET folder PARENT_PATH parent)
  file(MAKE_DIRECTORY ${root}/${parent})
  if(NOT IS_SYMLINK ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
