# Runs one fuzz target deterministically on a fresh copy of its seed corpus.
# cmake -DFUZZER=<exe> -DSEEDS=<committed corpus> -DCORPUS=<copy in the build tree> -P RunFuzzer.cmake
file(REMOVE_RECURSE ${CORPUS})
file(MAKE_DIRECTORY ${CORPUS})
file(COPY ${SEEDS}/ DESTINATION ${CORPUS})
# Comparison feedback sees addresses, so address randomisation would vary the run; turn it
# off where the system lets us.
set(launcher "")
find_program(SETARCH setarch)
if(SETARCH)
  execute_process(COMMAND ${SETARCH} -R true RESULT_VARIABLE noRandom OUTPUT_QUIET ERROR_QUIET)
  if(noRandom EQUAL 0)
    set(launcher ${SETARCH} -R)
  endif()
endif()
execute_process(COMMAND ${launcher} ${FUZZER} -seed=1 -runs=20000 -max_len=4096 -reload=0 ${CORPUS}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed: ${result}")
endif()
