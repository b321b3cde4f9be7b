# SPDX-License-Identifier: Apache-2.0
# Run by CPack on the staged files before it makes a Debian package:
# - every library of the packages lies under /usr, in a folder the dynamic
#   linker searches, so the run paths a build for another place may carry
#   are taken out of the programs, the libraries and the Python module
#   (Debian forbids them);
# - the static library loses its debugging sections, as Debian's own static
#   libraries do (the programs and shared libraries are stripped by CPack).
if(DEFINED CPACK_GENERATOR AND NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(_strip strip)
file(GLOB_RECURSE _files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS _files)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" _magic LIMIT 8 HEX)
  if(_magic MATCHES "^7f454c46")
    file(RPATH_REMOVE FILE "${file}")
  elseif(_magic STREQUAL "213c617263683e0a" AND _strip)  # "!<arch>\n"
    execute_process(COMMAND ${_strip} --strip-debug --remove-section=.comment
                            --remove-section=.note --enable-deterministic-archives "${file}"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "strip failed on ${file}")
    endif()
  endif()
endforeach()
