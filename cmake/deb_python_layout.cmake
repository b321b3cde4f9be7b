# SPDX-License-Identifier: Apache-2.0
# Run by CPack on the staged files before it makes a package: in a Debian
# package the Python module belongs in /usr/lib/python3/dist-packages, where
# Debian's python3 finds the packages of every version, not in the
# version's own lib/python3.X/dist-packages. The depth stays the same, so a
# run path relative to the module still reaches the library.
if(DEFINED CPACK_GENERATOR AND NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE _inits LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/__init__.py")
foreach(init IN LISTS _inits)
  if(NOT init MATCHES "^(.*/lib)/(python3\\.[0-9]+)/[a-z]+-packages/ventrac/__init__\\.py$")
    continue()
  endif()
  set(lib_dir "${CMAKE_MATCH_1}")
  set(version_dir "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}")
  get_filename_component(module_dir "${init}" DIRECTORY)
  set(target_dir "${lib_dir}/python3/dist-packages")
  file(MAKE_DIRECTORY "${target_dir}")
  file(RENAME "${module_dir}" "${target_dir}/ventrac")
  file(GLOB_RECURSE rest LIST_DIRECTORIES false "${version_dir}/*")
  if(NOT rest)
    file(REMOVE_RECURSE "${version_dir}")
  endif()
  message(STATUS "Python module moved to ${target_dir}/ventrac")
endforeach()
