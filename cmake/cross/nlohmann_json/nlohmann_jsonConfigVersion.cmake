# The version of the host's nlohmann-json headers, read from the header itself.
find_file(VORRIK_NLOHMANN_JSON_HPP nlohmann/json.hpp PATHS /usr/include /usr/local/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(PACKAGE_VERSION "0")
if(VORRIK_NLOHMANN_JSON_HPP)
  # Newer releases keep the version macros in detail/abi_macros.hpp.
  get_filename_component(_vorrik_json_dir ${VORRIK_NLOHMANN_JSON_HPP} DIRECTORY)
  set(_vorrik_json_version "")
  foreach(_vorrik_file ${VORRIK_NLOHMANN_JSON_HPP} ${_vorrik_json_dir}/detail/abi_macros.hpp)
    if(EXISTS ${_vorrik_file})
      file(STRINGS ${_vorrik_file} _vorrik_lines
           REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+")
      list(APPEND _vorrik_json_version ${_vorrik_lines})
    endif()
  endforeach()
  foreach(_vorrik_part MAJOR MINOR PATCH)
    string(REGEX MATCH "NLOHMANN_JSON_VERSION_${_vorrik_part} +([0-9]+)" _vorrik_match
           "${_vorrik_json_version}")
    set(_vorrik_${_vorrik_part} ${CMAKE_MATCH_1})
  endforeach()
  set(PACKAGE_VERSION "${_vorrik_MAJOR}.${_vorrik_MINOR}.${_vorrik_PATCH}")
endif()
if(PACKAGE_VERSION VERSION_LESS PACKAGE_FIND_VERSION OR
   (PACKAGE_FIND_VERSION_MAJOR AND NOT PACKAGE_FIND_VERSION_MAJOR STREQUAL _vorrik_MAJOR))
  set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
  if(PACKAGE_VERSION VERSION_EQUAL PACKAGE_FIND_VERSION)
    set(PACKAGE_VERSION_EXACT TRUE)
  endif()
endif()
