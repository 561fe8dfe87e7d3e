# Runs the table generator into a scratch folder and fails when any checked-in
# table file differs from what it writes.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${PYTHON} ${TABLES}/maketables.py ${TABLES}/score-tables-2025-06-01.pdf ${OUT}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "maketables.py failed (${rc})")
endif()
foreach(f deadlift pushup sdc plank run alternate)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${TABLES}/${f}.csv ${OUT}/${f}.csv RESULT_VARIABLE diff)
  if(NOT diff EQUAL 0)
    message(FATAL_ERROR "${f}.csv is not what maketables.py writes from the pages")
  endif()
endforeach()
