# SPDX-License-Identifier: Apache-2.0
# Checks the man pages: each formats with groff without a single warning
# (groff -man -ww -z), and each option a program's --help lists is described
# in its page.
#   cmake -DGROFF=groff -DPAGES=a.1;b.1 -DPROGRAMS=a;b -P check_man.cmake
# The Nth program of PROGRAMS is described by the Nth page of PAGES; pages
# past the last program (ventrac, which has no --help) are only formatted.
foreach(var GROFF PAGES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_man.cmake needs -D${var}=...")
  endif()
endforeach()

set(failures 0)
foreach(page IN LISTS PAGES)
  execute_process(COMMAND ${GROFF} -man -ww -z ${page}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    message(SEND_ERROR "${page}: groff status ${status}:\n${out}${err}")
    math(EXPR failures "${failures} + 1")
  else()
    message(STATUS "formats without warnings: ${page}")
  endif()
endforeach()

set(pairs "")
list(LENGTH PROGRAMS program_count)
if(program_count GREATER 0)
  math(EXPR last "${program_count} - 1")
  foreach(k RANGE ${last})
    list(APPEND pairs ${k})
  endforeach()
endif()
foreach(k IN LISTS pairs)
  list(GET PROGRAMS ${k} program)
  list(GET PAGES ${k} page)
  execute_process(COMMAND ${program} --help
    RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE help_err)
  if(NOT status EQUAL 0)
    message(SEND_ERROR "${program} --help: status ${status}\n${help_err}")
    math(EXPR failures "${failures} + 1")
    continue()
  endif()
  file(READ ${page} text)
  # The page writes an option's dashes as \- (a minus sign, not a hyphen).
  string(REPLACE "\\-" "-" text "${text}")
  string(REGEX MATCHALL "--[a-z][-a-z]*" options "${help}")
  list(REMOVE_DUPLICATES options)
  foreach(option IN LISTS options)
    string(REGEX MATCH "[^-a-z]${option}[^-a-z]" found "${text}")
    if(found STREQUAL "")
      message(SEND_ERROR "${page} does not describe ${option}, which ${program} --help lists")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
  list(LENGTH options option_count)
  message(STATUS "${page}: the ${option_count} options of ${program} --help are described")
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} man page problems")
endif()
