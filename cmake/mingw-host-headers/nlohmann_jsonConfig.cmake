# SPDX-License-Identifier: Apache-2.0
# nlohmann_json for the MinGW-w64 build (cmake/mingw-w64-x86_64.cmake): the
# Debian package nlohmann-json3-dev is header-only, so its headers serve the
# Windows build as they are. Only they are given to the compiler (through a
# folder of the build tree holding a link to them), not the rest of the
# host's /usr/include, whose C library headers are Linux's.
set(_ventrac_host_json /usr/include/nlohmann)
if(NOT EXISTS ${_ventrac_host_json}/json.hpp)
  set(nlohmann_json_FOUND FALSE)
  return()
endif()
set(_ventrac_json_dir ${CMAKE_BINARY_DIR}/host-headers)
if(NOT EXISTS ${_ventrac_json_dir}/nlohmann/json.hpp)
  file(MAKE_DIRECTORY ${_ventrac_json_dir})
  file(CREATE_LINK ${_ventrac_host_json} ${_ventrac_json_dir}/nlohmann SYMBOLIC)
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_ventrac_json_dir})
endif()
