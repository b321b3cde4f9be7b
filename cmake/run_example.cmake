# SPDX-License-Identifier: Apache-2.0
# Runs ventrac on the shipped example. The data file is copied into the build
# tree first, so that the HPK file is written there and not beside the sources.
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${SOURCE_DIR}/examples/ship_obs.txt" DESTINATION "${WORK_DIR}")
execute_process(
  COMMAND "${VENTRAC}" "${SOURCE_DIR}/examples/ship.pilot" ship_obs.txt FNZ6042 MOD
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status)
message(STATUS "ventrac exit status: ${status} (the number of packed bytes read back)")
message(STATUS "HPK file: ${WORK_DIR}/HPK_ship_obs.txt")
