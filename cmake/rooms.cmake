# Rooms: each folder of the stand-in, the runner and the tests' support is one target whose
# headers are included as "<path>/name.h" through an include root in the build folder that
# holds that folder alone. A target sees only its own root and those of the targets it links,
# so an include in the wrong direction does not compile.

# The include root of `target`, showing `folder` (relative to the calling CMakeLists.txt) as
# `path`.
function(room_include_root target folder path)
  set(root ${CMAKE_CURRENT_BINARY_DIR}/include/${target})
  get_filename_component(above ${path} DIRECTORY)
  file(MAKE_DIRECTORY ${root}/${above})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${folder} ${root}/${path} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PRIVATE vorrik_warnings)
endfunction()

# The same for a folder that holds other rooms: only the headers named after `path` are shown,
# one by one, so that the root does not show the rooms inside the folder.
function(room_include_headers target folder path)
  set(root ${CMAKE_CURRENT_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root}/${path})
  foreach(header ${ARGN})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/${header} ${root}/${path}/${header}
         SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PRIVATE vorrik_warnings)
endfunction()
