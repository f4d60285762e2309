# nlohmann_json::nlohmann_json for cross builds: a copy of the host's nlohmann/ header
# folder in the build tree, so that no host include folder reaches the cross compiler.
if(TARGET nlohmann_json::nlohmann_json)
  return()
endif()
find_file(VORRIK_NLOHMANN_JSON_HPP nlohmann/json.hpp PATHS /usr/include /usr/local/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT VORRIK_NLOHMANN_JSON_HPP)
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found (nlohmann-json3-dev)")
  return()
endif()
get_filename_component(_vorrik_json_dir ${VORRIK_NLOHMANN_JSON_HPP} DIRECTORY)
set(_vorrik_json_include ${CMAKE_BINARY_DIR}/cross-include)
file(COPY ${_vorrik_json_dir} DESTINATION ${_vorrik_json_include})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${_vorrik_json_include})
