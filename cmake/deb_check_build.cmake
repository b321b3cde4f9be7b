# SPDX-License-Identifier: Apache-2.0
# Read by cpack before it makes packages (CPACK_PROJECT_CONFIG_FILE): Debian
# packages come only from a build configured for them, see
# cmake/VentracDebian.cmake.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_VENTRAC_DEB_REFUSAL STREQUAL "")
  message(FATAL_ERROR
    "This build cannot make the Debian packages:${CPACK_VENTRAC_DEB_REFUSAL} configure a "
    "build for them: cmake -S <source> -B build-deb -DCMAKE_INSTALL_PREFIX=/usr "
    "-DBUILD_SHARED_LIBS=ON (docs/packaging.md)")
endif()
