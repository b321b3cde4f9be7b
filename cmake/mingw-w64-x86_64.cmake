# SPDX-License-Identifier: Apache-2.0
# Cross build for 64-bit Windows from Debian 12 with MinGW-w64 (the POSIX
# thread flavour, g++-mingw-w64-x86-64-posix, so that std::thread works):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-win -j2
# The programs are linked statically (libstdc++, libgcc and winpthread are
# inside them) and import only DLLs that ship with Windows. With Wine
# installed, ctest runs the test programs through it; see docs/windows.md.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VENTRAC_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VENTRAC_MINGW_PREFIX}-gcc-posix ${VENTRAC_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VENTRAC_MINGW_PREFIX}-g++-posix ${VENTRAC_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VENTRAC_MINGW_PREFIX}-windres)

# Libraries and headers for the target come from the MinGW tree only...
set(CMAKE_FIND_ROOT_PATH /usr/${VENTRAC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ...except header-only libraries, which need no Windows build: the host's
# nlohmann-json (Debian nlohmann-json3-dev) is what find_package(nlohmann_json)
# finds, its headers alone (mingw-host-headers/nlohmann_jsonConfig.cmake).
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-host-headers CACHE PATH
    "nlohmann_json package for the MinGW build")

# Everything linked in statically, so that a ship's PC needs no MinGW DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine runs the test programs when it is installed (wine64 alone does: the
# Debian wrapper /usr/bin/wine falls back on it when wine32 is missing), with
# a Wine prefix inside the build tree (cmake/wine-run.sh).
find_program(VENTRAC_WINE NAMES wine wine64)
if(VENTRAC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
