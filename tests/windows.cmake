# SPDX-License-Identifier: Apache-2.0
# The GoogleTest suite built for Windows (cmake/mingw-w64-x86_64.cmake) and
# run under Wine by ctest, the emulator set by the toolchain file. GoogleTest
# is built here from its sources (Debian package googletest). The tests of
# the installed tree, the man pages, the Debian package, the JSON check in
# Python and the fuzz replays need Linux tools and are not part of it.
set(VENTRAC_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest's sources, built for the Windows test suite")
if(NOT EXISTS "${VENTRAC_GTEST_SOURCE_DIR}/CMakeLists.txt")
  ventrac_skipped_test(GoogleTest.UnitTests googletest "GoogleTest's sources")
  return()
endif()
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  ventrac_skipped_test(GoogleTest.UnitTests wine64 Wine)
  return()
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VENTRAC_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Paths as the programs under Wine see them: its drive Z: is the root of
# the Linux file system.
function(ventrac_wine_path out path)
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()
ventrac_wine_path(_ventrac_exe ${PROJECT_BINARY_DIR}/ventrac.exe)
ventrac_wine_path(_ventrac_decode_exe ${PROJECT_BINARY_DIR}/tools/decode/ventrac-decode.exe)
ventrac_wine_path(_ventrac_check_exe ${PROJECT_BINARY_DIR}/tools/check/ventrac-check.exe)
ventrac_wine_path(_ventrac_test_data ${CMAKE_CURRENT_SOURCE_DIR}/data)
ventrac_wine_path(_ventrac_examples ${PROJECT_SOURCE_DIR}/examples)

add_executable(ventrac_tests ${VENTRAC_TEST_SOURCES} test_windows.cpp)
target_compile_options(ventrac_tests PRIVATE ${VENTRAC_WARNINGS})
target_link_libraries(ventrac_tests PRIVATE ventrac_front ventrac_check_lib gtest_main)
target_compile_definitions(ventrac_tests PRIVATE
  VENTRAC_EXE="${_ventrac_exe}"
  VENTRAC_DECODE_EXE="${_ventrac_decode_exe}"
  VENTRAC_CHECK_EXE="${_ventrac_check_exe}"
  VENTRAC_TEST_DATA="${_ventrac_test_data}"
  VENTRAC_EXAMPLES="${_ventrac_examples}")
add_dependencies(ventrac_tests ventrac ventrac-decode ventrac-check)
gtest_discover_tests(ventrac_tests DISCOVERY_TIMEOUT 120)

add_executable(ventrac_concurrency_tests test_concurrency.cpp context_support.cpp roundtrip.cpp
               test_support.cpp)
target_compile_options(ventrac_concurrency_tests PRIVATE ${VENTRAC_WARNINGS})
target_compile_definitions(ventrac_concurrency_tests PRIVATE VENTRAC_EXE="${_ventrac_exe}")
target_link_libraries(ventrac_concurrency_tests PRIVATE ventrac_internal gtest_main)
gtest_discover_tests(ventrac_concurrency_tests DISCOVERY_TIMEOUT 120)

# The programs import only DLLs that ship with Windows.
find_program(VENTRAC_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump)
if(VENTRAC_MINGW_OBJDUMP)
  set(_ventrac_win_programs
    "$<TARGET_FILE:ventrac>;$<TARGET_FILE:ventrac-decode>;$<TARGET_FILE:ventrac-check>")
  if(TARGET ventrac-encode)
    string(APPEND _ventrac_win_programs ";$<TARGET_FILE:ventrac-encode>")
  endif()
  add_test(NAME Windows.ProgramsImportOnlySystemDlls
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VENTRAC_MINGW_OBJDUMP}
      "-DPROGRAMS=${_ventrac_win_programs}"
      -P ${PROJECT_SOURCE_DIR}/cmake/check_imports.cmake)
else()
  ventrac_skipped_test(Windows.ProgramsImportOnlySystemDlls binutils-mingw-w64-x86-64
                       x86_64-w64-mingw32-objdump)
endif()
