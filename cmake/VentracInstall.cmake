# SPDX-License-Identifier: Apache-2.0
# What `cmake --install` puts where, and the Debian packages `cpack -G DEB`
# makes of it. Paths follow GNUInstallDirs, so a distribution's choices
# (lib, lib64 or a multiarch libdir; share/man; share/doc/ventrac) apply.
#
#   bin/                          ventrac, ventrac-decode, ventrac-check
#   LIBDIR/                       libventrac.a; with BUILD_SHARED_LIBS=ON
#                                 libventrac.so.0 and libventrac.a both
#   include/ventrac/              the C headers: ventrac.h (thread-safe),
#                                 types.h, pilot/pilot.h and codec/codec.h
#                                 (process-wide), codec/context.h (forwards
#                                 to ventrac.h)
#   LIBDIR/cmake/ventrac/         find_package(ventrac) -> ventrac::ventrac
#                                 (and ventrac::ventrac_static beside a
#                                 shared library)
#   LIBDIR/pkgconfig/ventrac.pc
#   share/man/man1/               a page per program
#   share/doc/ventrac/            README.md, docs/*.md, LICENSE, NOTICE and
#                                 the shipped example
#
# Every file belongs to one install component, and each component is one
# Debian package:
#   programs     ventrac         the programs, man pages, documentation
#   library      libventrac0     libventrac.so.0*
#   development  libventrac-dev  headers, libventrac.so, libventrac.a,
#                                the CMake package and ventrac.pc
#   python       python3-ventrac the Python module (python/CMakeLists.txt)
include(CMakePackageConfigHelpers)

# The public headers, in the -dev package and in the Windows zip alike.
function(ventrac_install_public_headers)
  install(FILES include/ventrac/ventrac.h include/ventrac/types.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ventrac COMPONENT development)
  install(FILES pilot/pilot.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ventrac/pilot
          COMPONENT development)
  install(FILES codec/codec.h codec/context.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ventrac/codec
          COMPONENT development)
endfunction()

# Windows has its own layout and package: the zip of cmake/VentracWindows.cmake.
if(WIN32)
  include(cmake/VentracWindows.cmake)
  return()
endif()

set(VENTRAC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ventrac)

install(TARGETS ventrac RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)

# A shared libventrac comes with the static library too, built from the same
# objects, as a distribution ships them: libventrac.a for programs that
# link statically, ventrac::ventrac_static for CMake users.
if(BUILD_SHARED_LIBS)
  add_library(ventrac_static STATIC $<TARGET_OBJECTS:ventrac_objects>)
  set_target_properties(ventrac_static PROPERTIES OUTPUT_NAME ventrac EXPORT_NAME ventrac_static)
  target_include_directories(ventrac_static PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(ventrac_static PUBLIC m $<INSTALL_INTERFACE:${VENTRAC_CXX_RUNTIME}>)
  set(_ventrac_static_target ventrac_static)
else()
  set(_ventrac_static_target)
endif()
install(TARGETS ventrac_codec ${_ventrac_static_target} EXPORT ventracTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
          NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library)
ventrac_install_public_headers()

install(EXPORT ventracTargets NAMESPACE ventrac:: DESTINATION ${VENTRAC_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(cmake/ventracConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ventracConfig.cmake INSTALL_DESTINATION ${VENTRAC_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ventracConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ventracConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ventracConfigVersion.cmake
        DESTINATION ${VENTRAC_CMAKE_DIR} COMPONENT development)

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
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ventrac.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

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
  install(FILES ${page_file} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
endforeach()

install(FILES README.md NOTICE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT programs)
file(GLOB _ventrac_doc_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${_ventrac_doc_pages} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT programs)
install(FILES examples/README.md examples/ship.pilot examples/ship_obs.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT programs)
# The licence text: a Debian package points to the system's copy of it in
# its copyright file instead, so it is in no package.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)

include(cmake/VentracDebian.cmake)
