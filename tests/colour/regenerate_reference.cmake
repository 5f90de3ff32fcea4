# Runs the reference generator into the build tree and compares its output
# with the checked-in table.
execute_process(COMMAND ${NODE} ${GENERATOR} ${OUTPUT} RESULT_VARIABLE generated)
if(NOT generated EQUAL 0)
  message(FATAL_ERROR "the reference generator failed (${generated})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${REFERENCE}
  RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${OUTPUT} differs from the checked-in ${REFERENCE}")
endif()
