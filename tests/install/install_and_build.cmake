# cmake -P script: install BUILD_DIR into WORK_DIR/prefix, configure and build
# the consumer project against it, run the consumer.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "step failed (${status}): ${ARGN}")
  endif()
endfunction()

run_step(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
run_step(${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${WORK_DIR}/consumer" -G "${GENERATOR}"
  "-DCMAKE_PREFIX_PATH=${prefix}")
run_step(${CMAKE_COMMAND} --build "${WORK_DIR}/consumer")
run_step("${WORK_DIR}/consumer/ravik_consumer")
