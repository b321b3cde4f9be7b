# SPDX-License-Identifier: Apache-2.0
# The Windows layout and its zip (cpack -G ZIP in the Windows build):
#
#   ventrac-<version>-win64/
#     ventrac.exe, ventrac-decode.exe, ventrac-check.exe, ventrac-encode.exe
#     README.txt                   what each program does, the example, the
#                                  exit statuses (CR LF line ends)
#     example/                     the shipped example (CR LF line ends)
#     doc/                         the man pages as plain text (CR LF)
#
# The static library and the headers go to lib/ and include/ventrac/ with
# `cmake --install`, in the component "development", which the zip leaves
# out: a ship's PC runs the programs only.
set(_ventrac_win_stage ${CMAKE_CURRENT_BINARY_DIR}/windows)

install(TARGETS ventrac RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ventrac_codec ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
ventrac_install_public_headers()

# Text files with CR LF line ends, as Notepad shows them.
function(ventrac_crlf_copy source destination)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

configure_file(cmake/windows-readme.txt.in ${_ventrac_win_stage}/README.lf @ONLY)
ventrac_crlf_copy(${_ventrac_win_stage}/README.lf ${_ventrac_win_stage}/README.txt)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/cmake/windows-readme.txt.in)
install(FILES ${_ventrac_win_stage}/README.txt DESTINATION .)

foreach(file ship.pilot ship_obs.txt README.md)
  ventrac_crlf_copy(${PROJECT_SOURCE_DIR}/examples/${file} ${_ventrac_win_stage}/example/${file})
  install(FILES ${_ventrac_win_stage}/example/${file} DESTINATION example)
endforeach()

# The man pages as plain text, formatted by groff (Debian package groff-base).
find_program(VENTRAC_GROFF groff)
set(_ventrac_win_pages ventrac ventrac-decode ventrac-check)
if(TARGET ventrac-encode)
  list(APPEND _ventrac_win_pages ventrac-encode)
endif()
foreach(page IN LISTS _ventrac_win_pages)
  set(source ${PROJECT_SOURCE_DIR}/man/${page}.1.in)
  configure_file(${source} ${_ventrac_win_stage}/${page}.1 @ONLY)
  if(VENTRAC_GROFF)
    execute_process(COMMAND ${VENTRAC_GROFF} -man -Tascii -P-cbou ${_ventrac_win_stage}/${page}.1
      OUTPUT_FILE ${_ventrac_win_stage}/${page}.lf RESULT_VARIABLE status
      ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "groff failed on ${source}: ${status} ${errors}")
    endif()
  else()
    message(WARNING "groff not found: the zip carries the man pages' sources. "
                    "Install the Debian package groff-base for plain text.")
    configure_file(${_ventrac_win_stage}/${page}.1 ${_ventrac_win_stage}/${page}.lf COPYONLY)
  endif()
  ventrac_crlf_copy(${_ventrac_win_stage}/${page}.lf ${_ventrac_win_stage}/doc/${page}.txt)
  install(FILES ${_ventrac_win_stage}/doc/${page}.txt DESTINATION doc)
endforeach()

# cpack -G ZIP: ventrac-<version>-win64.zip, programs stripped.
set(CPACK_PACKAGE_NAME ventrac)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME ventrac-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
# The programs, whatever component their own install rules name.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};ventrac;Unspecified;/;${CMAKE_BINARY_DIR};ventrac;programs;/")
include(CPack)
