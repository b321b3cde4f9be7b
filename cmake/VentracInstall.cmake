# What `cmake --install` puts where, and the Debian package `cpack -G DEB`
# makes of it. Paths follow GNUInstallDirs, so a distribution's choices
# (lib, lib64 or a multiarch libdir; share/man; share/doc/ventrac) apply.
#
#   bin/                          ventrac, ventrac-decode, ventrac-check
#   LIBDIR/                       libventrac.a, or libventrac.so.0 with
#                                 BUILD_SHARED_LIBS=ON
#   include/ventrac/              the C headers: ventrac.h (thread-safe),
#                                 types.h, pilot/pilot.h and codec/codec.h
#                                 (process-wide), codec/context.h (forwards
#                                 to ventrac.h)
#   LIBDIR/cmake/ventrac/         find_package(ventrac) -> ventrac::ventrac
#   LIBDIR/pkgconfig/ventrac.pc
#   share/man/man1/               a page per program
#   share/doc/ventrac/            README.md, docs/*.md and the shipped example
include(CMakePackageConfigHelpers)

# Windows has its own layout and package: the zip of cmake/VentracWindows.cmake.
if(WIN32)
  include(cmake/VentracWindows.cmake)
  return()
endif()

set(VENTRAC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ventrac)

install(TARGETS ventrac RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ventrac_codec EXPORT ventracTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/ventrac/ventrac.h include/ventrac/types.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ventrac)
install(FILES pilot/pilot.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ventrac/pilot)
install(FILES codec/codec.h codec/context.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ventrac/codec)

install(EXPORT ventracTargets NAMESPACE ventrac:: DESTINATION ${VENTRAC_CMAKE_DIR})
configure_package_config_file(cmake/ventracConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ventracConfig.cmake INSTALL_DESTINATION ${VENTRAC_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ventracConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ventracConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ventracConfigVersion.cmake
        DESTINATION ${VENTRAC_CMAKE_DIR})

# ventrac.pc finds the prefix from its own place, so that the installed tree
# can be moved; a directory given as an absolute path is written as it is.
file(RELATIVE_PATH VENTRAC_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VENTRAC_PC_TO_PREFIX "${VENTRAC_PC_TO_PREFIX}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VENTRAC_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(VENTRAC_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(VENTRAC_PC_PREFIX "\${pcfiledir}/${VENTRAC_PC_TO_PREFIX}")
  set(VENTRAC_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VENTRAC_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(VENTRAC_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
set(VENTRAC_PC_PRIVATE_LIBS "-l${VENTRAC_CXX_RUNTIME} -lm")
configure_file(cmake/ventrac.pc.in ${CMAKE_CURRENT_BINARY_DIR}/ventrac.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ventrac.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Man pages, with the project's version, compressed as distributions ship
# them when gzip is there (man reads both forms).
set(VENTRAC_MAN_PAGES ventrac ventrac-decode ventrac-check)
if(TARGET ventrac-encode)
  list(APPEND VENTRAC_MAN_PAGES ventrac-encode)
endif()
find_program(VENTRAC_GZIP gzip)
mark_as_advanced(VENTRAC_GZIP)
foreach(page IN LISTS VENTRAC_MAN_PAGES)
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/man/${page}.1.in)
  set(page_file ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1)
  configure_file(${source} ${page_file} @ONLY)
  if(VENTRAC_GZIP)
    # -n keeps the name and time out of the archive: the same page gives the
    # same bytes.
    execute_process(COMMAND ${VENTRAC_GZIP} -9 -n -c ${page_file}
      OUTPUT_FILE ${page_file}.gz RESULT_VARIABLE gzip_status)
    if(NOT gzip_status EQUAL 0)
      message(FATAL_ERROR "gzip failed on ${page_file}: ${gzip_status}")
    endif()
    set(page_file ${page_file}.gz)
  endif()
  install(FILES ${page_file} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(GLOB _ventrac_doc_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${_ventrac_doc_pages} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(FILES examples/README.md examples/ship.pilot examples/ship_obs.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The Debian package: `cpack -G DEB` in the build tree. Its files go under
# /usr; the libraries it needs are found by dpkg-shlibdeps (Debian packages
# dpkg-dev and file) and declared as its dependencies.
set(VENTRAC_PACKAGE_MAINTAINER "ventrac maintainers <ventrac@localhost>" CACHE STRING
    "Maintainer written into the Debian package")
set(CPACK_PACKAGE_NAME ventrac)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VENTRAC_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "codec of six-bit ship weather observation messages")
set(CPACK_PACKAGE_DESCRIPTION
    "ventrac packs one weather observation reported by a ship into a short message of characters 0x40 to 0x7F, for telex-grade links, as a pilot file describes it. ventrac-decode decodes such messages ashore, in batches; ventrac-check reports what a pilot file will get wrong. The codec is also a C library, with its headers, a CMake package and a pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
find_program(VENTRAC_DPKG_DEB dpkg-deb)
mark_as_advanced(VENTRAC_DPKG_DEB)
if(VENTRAC_DPKG_DEB)
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_DEBIAN_PACKAGE_NAME ventrac)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VENTRAC_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The Python module, when built, goes where Debian's python3 imports packages
# from (/usr/lib/python3/dist-packages, not the version's own folder that
# `cmake --install` uses), for the interpreter version it was built for.
if(TARGET ventrac_python)
  execute_process(
    COMMAND "${VENTRAC_PYTHON_EXECUTABLE}" -c "import sys; print('%d.%d' % sys.version_info[:2])"
    OUTPUT_VARIABLE _ventrac_python_version OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" _ventrac_match "${_ventrac_python_version}")
  if(NOT _ventrac_match)
    message(FATAL_ERROR "cannot tell the version of ${VENTRAC_PYTHON_EXECUTABLE}")
  endif()
  math(EXPR _ventrac_python_next "${CMAKE_MATCH_2} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= ${_ventrac_python_version}~), python3 (<< ${CMAKE_MATCH_1}.${_ventrac_python_next})")
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/deb_python_layout.cmake)
endif()
if(BUILD_SHARED_LIBS)
  # The package's own libventrac.so.0: a shlibs file for packages built on
  # it, and the ldconfig trigger.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()
include(CPack)
