# SPDX-License-Identifier: Apache-2.0
# Run by CPack after it has made the packages (CPACK_POST_BUILD_SCRIPTS):
# libventrac0 must have the dynamic linker's cache rebuilt when it is
# installed or removed. CPack does so with maintainer scripts that call
# ldconfig; Debian asks for the ldconfig trigger instead (which dpkg runs
# once for all the packages it installs). The package is rebuilt with the
# trigger in place of those two scripts.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(_dpkg_deb dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${deb}" NAME)
  if(NOT name MATCHES "^${CPACK_DEBIAN_LIBRARY_PACKAGE_NAME}_.*\\.deb$")
    continue()
  endif()
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/ldconfig-trigger")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND ${_dpkg_deb} --raw-extract "${deb}" "${tree}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb could not unpack ${deb}")
  endif()
  # Only scripts that do nothing else than call ldconfig are taken out.
  foreach(script IN ITEMS postinst postrm)
    if(EXISTS "${tree}/DEBIAN/${script}")
      file(READ "${tree}/DEBIAN/${script}" body)
      string(REGEX REPLACE "#![^\n]*\n|set -e|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then|ldconfig|fi|[ \t\n]" "" rest "${body}")
      if(NOT rest STREQUAL "")
        message(FATAL_ERROR "${name}: ${script} does more than call ldconfig:\n${body}")
      endif()
      file(REMOVE "${tree}/DEBIAN/${script}")
    endif()
  endforeach()
  file(WRITE "${tree}/DEBIAN/triggers" "activate-noawait ldconfig\n")
  file(CHMOD "${tree}/DEBIAN/triggers" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  execute_process(COMMAND ${_dpkg_deb} --root-owner-group --build "${tree}" "${deb}"
                  OUTPUT_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb could not rebuild ${deb}")
  endif()
  file(REMOVE_RECURSE "${tree}")
  message(STATUS "${name}: ldconfig trigger in place of the maintainer scripts")
endforeach()
