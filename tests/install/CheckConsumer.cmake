# Installs the build in BUILD_DIR into WORK_DIR/prefix, then configures, builds and runs the
# consumer project in SOURCE_DIR against it. A cross build passes its TOOLCHAIN, SYSROOT and
# EMULATOR on, so the consumer is built and run the same way.
# Usage: cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... [-DTOOLCHAIN=... -DSYSROOT=...
#        -DEMULATOR=...] -P CheckConsumer.cmake
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(configure_args -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix})
if(TOOLCHAIN)
  list(APPEND configure_args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DORVIK_ARMHF_SYSROOT=${SYSROOT})
  # The cross toolchain searches only its sysroot; the installed tree is searched too.
  list(APPEND configure_args -DCMAKE_FIND_ROOT_PATH=${prefix}
       -DOrvik_ZARoveDore_DIR=${prefix}/${LIBDIR}/cmake/Orvik_ZARoveDore)
endif()
run_step("configure consumer" ${CMAKE_COMMAND} ${configure_args})
run_step("build consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("run consumer" ${EMULATOR} ${WORK_DIR}/build/consumer)
if(NOT step_output MATCHES "consumer linked against the installed Orvik_ZARoveDore")
  message(FATAL_ERROR "consumer printed: ${step_output}")
endif()
message(STATUS "${step_output}")
