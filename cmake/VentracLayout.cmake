# SPDX-License-Identifier: Apache-2.0
# Install directories (GNUInstallDirs: lib, lib64 or a multiarch libdir as
# the system wants) and, for a shared libventrac, how the installed programs
# find it.
include(GNUInstallDirs)

# libventrac.so.0 in a directory the dynamic linker searches needs nothing;
# elsewhere (a prefix of one's own, /usr/local before ldconfig has run) the
# programs carry a run path relative to their own place, so that the
# installed tree works where it lands and can be moved whole.
if(BUILD_SHARED_LIBS)
  set(_ventrac_system_dirs ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES}
      ${CMAKE_C_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
  if(NOT "${CMAKE_INSTALL_FULL_LIBDIR}" IN_LIST _ventrac_system_dirs)
    file(RELATIVE_PATH _ventrac_bin_to_lib
      ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set(CMAKE_INSTALL_RPATH "$ORIGIN/${_ventrac_bin_to_lib}")
  endif()
endif()
