# Runs the scenario runner on one script and checks its exit code and what
# it reported. Arguments: RUNNER, SCRIPT, CODE, MATCH and optionally FORBID
# (regular expressions over the diagnostics), and EMULATOR, the command a
# cross-built runner runs under, its words separated by "|".
string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} ${RUNNER} ${SCRIPT}
                RESULT_VARIABLE code
                OUTPUT_VARIABLE output
                ERROR_VARIABLE diagnostics)
if(NOT code STREQUAL CODE)
  message(FATAL_ERROR "exit code ${code}, expected ${CODE}\n${diagnostics}")
endif()
if(NOT diagnostics MATCHES "${MATCH}")
  message(FATAL_ERROR "the diagnostics do not match ${MATCH}:\n${diagnostics}")
endif()
if(DEFINED FORBID AND diagnostics MATCHES "${FORBID}")
  message(FATAL_ERROR "the diagnostics match ${FORBID}:\n${diagnostics}")
endif()
