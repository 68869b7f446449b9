# Runs one harness: -seed=1 -runs=RUNS over a fresh working corpus (written in the build tree) and the
# committed seed corpus (only read), inputs of at most MAX_LEN bytes. Fails on any report. The per-input timeout catches hangs, not slow
# inputs: an instrumented render of the largest aperture the dialog allows takes several seconds on a
# loaded machine, so it stays well above that.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -seed=1 -runs=${RUNS} -max_len=${MAX_LEN} -len_control=0 -timeout=120 -rss_limit_mb=4096
          -print_final_stats=1
          -artifact_prefix=${WORK}/ ${WORK}/corpus ${CORPUS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); the input that failed is in ${WORK}/")
endif()
