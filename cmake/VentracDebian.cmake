# SPDX-License-Identifier: Apache-2.0
# The Debian packages: `cpack -G DEB` in a build configured for them
# (docs/packaging.md):
#
#   cmake -S . -B build-deb -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_SHARED_LIBS=ON
#   cmake --build build-deb -j2 && (cd build-deb && cpack -G DEB)
#
# makes one package per install component (cmake/VentracInstall.cmake):
# ventrac, libventrac0, libventrac-dev and python3-ventrac (when the module
# is built). The libraries each needs are found by dpkg-shlibdeps (Debian
# packages dpkg-dev and file); libventrac-dev depends on the very same
# version of libventrac0. Each package carries its copyright file in
# Debian's machine-readable format and its changelog.Debian.gz.
#
# A build for another prefix or with a static library only would make
# packages that do not follow Debian's layout (a pkg-config file outside the
# multiarch folder, no libventrac0): there cpack -G DEB stops and says how to
# configure.

set(VENTRAC_PACKAGE_MAINTAINER "The ventrac developers <ventrac-devel@lists.ventrac.org>"
    CACHE STRING "Maintainer written into the Debian packages (Name <address>)")
# A build tree configured before kept the placeholder address on localhost,
# which no package may carry.
if(VENTRAC_PACKAGE_MAINTAINER STREQUAL "ventrac maintainers <ventrac@localhost>")
  set_property(CACHE VENTRAC_PACKAGE_MAINTAINER PROPERTY VALUE
               "The ventrac developers <ventrac-devel@lists.ventrac.org>")
endif()
# The Debian revision: the n-th package of the same upstream version.
set(VENTRAC_DEBIAN_REVISION 1 CACHE STRING "Debian revision of the packages (the -N of 0.1.0-N)")
set(_ventrac_deb_version "${PROJECT_VERSION}-${VENTRAC_DEBIAN_REVISION}")

set(CPACK_PACKAGE_NAME ventrac)
set(CPACK_PACKAGE_VENDOR "The ventrac developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VENTRAC_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
find_program(VENTRAC_DPKG_DEB dpkg-deb)
mark_as_advanced(VENTRAC_DPKG_DEB)
if(VENTRAC_DPKG_DEB)
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR TGZ)
endif()

# One package per component; the licence text is left to the copyright
# files.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs library development)
if(TARGET ventrac_python)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()

set(CPACK_DEBIAN_PACKAGE_SOURCE ventrac)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VENTRAC_DEBIAN_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VENTRAC_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# libventrac0 declares its library (a shlibs file, "libventrac0 (>= this
# version)" for the packages built on it) and runs ldconfig.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(_ventrac_common_description
    "ventrac packs one weather observation reported by a ship into a short\nmessage of characters 0x40 to 0x7F, for telex-grade links, as a pilot\nfile describes it, element by element, and decodes such messages ashore.")

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME ventrac)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION
    "codec of six-bit ship weather observation messages\n${_ventrac_common_description}\n\nThis package holds the programs: ventrac packs an observation,\nventrac-decode decodes messages in batches (text, CSV, JSON or BUFR),\nventrac-check reports what a pilot file will get wrong. The manual pages\nand an example pilot file and observation come with them.")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libventrac0)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
    "codec of six-bit ship weather observation messages - library\n${_ventrac_common_description}\n\nThis package holds the shared library, libventrac.so.0: the pilot file\nreader, the encoder, the six-bit armour, the decoder and the lookups,\nbehind a C interface that several threads may use at once.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libventrac-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libventrac0 (= ${_ventrac_deb_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "codec of six-bit ship weather observation messages - development files\n${_ventrac_common_description}\n\nThis package holds what a program linking the codec needs: the C\nheaders, the static library libventrac.a, the link to the shared library,\nthe CMake package (find_package(ventrac)) and the pkg-config file.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-ventrac)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# to_dataframe needs pandas, which the module imports only then.
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS python3-pandas)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "codec of six-bit ship weather observation messages - Python 3 module\n${_ventrac_common_description}\n\nThis package holds the Python 3 module ventrac: a Pilot reads a pilot\nfile once, then decodes and encodes messages, on several threads at once\nif asked; observations turn into pandas data frames.")

# Each package's copyright file and changelog, in /usr/share/doc/<package>.
# They are installed only for the package (EXCLUDE_FROM_ALL): a plain
# `cmake --install` has LICENSE and NOTICE instead.
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in
               ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
               ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
set(_ventrac_changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
if(VENTRAC_GZIP)
  execute_process(COMMAND ${VENTRAC_GZIP} -9 -n -c ${PROJECT_BINARY_DIR}/debian/changelog
    OUTPUT_FILE ${_ventrac_changelog} RESULT_VARIABLE gzip_status)
  if(NOT gzip_status EQUAL 0)
    message(FATAL_ERROR "gzip failed on the Debian changelog: ${gzip_status}")
  endif()
else()
  set(_ventrac_changelog)
endif()
# Each package's lintian overrides, in /usr/share/lintian/overrides/<package>
# (cmake/debian/lintian-overrides.in says why).
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} _ventrac_upper)
  set(_ventrac_package ${CPACK_DEBIAN_${_ventrac_upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${_ventrac_changelog}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${_ventrac_package}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides.in
                 ${PROJECT_BINARY_DIR}/debian/lintian/${_ventrac_package} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/debian/lintian/${_ventrac_package}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# The Python module goes where Debian's python3 imports packages from, and
# its package depends on the interpreter version it was built for.
if(TARGET ventrac_python)
  execute_process(
    COMMAND "${VENTRAC_PYTHON_EXECUTABLE}" -c "import sys; print('%d.%d' % sys.version_info[:2])"
    OUTPUT_VARIABLE _ventrac_python_version OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" _ventrac_match "${_ventrac_python_version}")
  if(NOT _ventrac_match)
    message(FATAL_ERROR "cannot tell the version of ${VENTRAC_PYTHON_EXECUTABLE}")
  endif()
  math(EXPR _ventrac_python_next "${CMAKE_MATCH_2} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${_ventrac_python_version}~), python3 (<< ${CMAKE_MATCH_1}.${_ventrac_python_next})")
endif()
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_python_layout.cmake
                            ${PROJECT_SOURCE_DIR}/cmake/deb_tidy.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_ldconfig_trigger.cmake)

# What keeps this build from making Debian packages, read back by
# cmake/deb_check_build.cmake when cpack runs.
set(CPACK_VENTRAC_DEB_REFUSAL "")
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  string(APPEND CPACK_VENTRAC_DEB_REFUSAL
         " it is configured for the prefix ${CMAKE_INSTALL_PREFIX}, not /usr;")
endif()
if(NOT BUILD_SHARED_LIBS)
  string(APPEND CPACK_VENTRAC_DEB_REFUSAL " it builds no shared library (BUILD_SHARED_LIBS is off);")
endif()
if(VENTRAC_SANITIZE OR VENTRAC_TSAN)
  string(APPEND CPACK_VENTRAC_DEB_REFUSAL " it is instrumented by a sanitizer;")
endif()
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/deb_check_build.cmake)
include(CPack)
