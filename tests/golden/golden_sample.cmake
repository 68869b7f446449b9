# The built-in sample rendered by this build's tool with each method, against the golden renders the
# native tool made (tests/data/golden): the same image in every build, the native one and both Windows
# builds under the emulator.
#
# The settings exercise the highlight correction and a turned polygon aperture. Direct and FFT may
# differ by one level: the builds' maths libraries may round pow, log10, sin and cos differently in the
# last place. Monte Carlo must match exactly, and does: its random sequence is our own generator, every
# build computes in SSE2 single and double precision in the same order (the 32-bit one too, never x87),
# the correction's pow of the 8-bit sample's few distinct levels is rounded to float before any settling
# check sees it, and the inverse correction is the project's own single-precision code, the same bits on
# every build and instruction set. One ulp of difference in a settling check would shift the random sequence for
# every later pixel, and this check would then fail on the whole image rather than hide it.
#
#   cmake [-DEMULATOR=...] -DTOOL=aperlume -DCOMPARE=compare_images -DGOLDEN=dir -DWORK=dir -P golden_sample.cmake
#
# With -DUPDATE=ON (run by scripts/update_golden_samples.sh, by hand, never in CI) the native tool writes
# the golden renders instead.
set(SETTINGS --amount 8 --vertices 6 --rotation 15 --brightness 30)
set(METHODS normal mc fft)
set(TOLERANCE_normal 1)
set(TOLERANCE_fft 1)
set(TOLERANCE_mc 0)

separate_arguments(emulator NATIVE_COMMAND "${EMULATOR}")
if(UPDATE)
  if(emulator)
    message(FATAL_ERROR "the golden renders are made by the native tool only")
  endif()
  file(MAKE_DIRECTORY ${GOLDEN})
  set(WORK ${GOLDEN})
else()
  file(REMOVE_RECURSE ${WORK})
  file(MAKE_DIRECTORY ${WORK})
endif()

set(failed "")
foreach(method IN LISTS METHODS)
  set(render ${WORK}/sample_${method}.png)
  execute_process(COMMAND ${emulator} ${TOOL} ${SETTINGS} --method ${method} --sample ${render}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0 OR NOT EXISTS ${render})
    message(FATAL_ERROR "the ${method} render failed (${result}):\n${out}\n${err}")
  endif()
  if(UPDATE)
    message(STATUS "wrote ${render}")
    continue()
  endif()
  execute_process(COMMAND ${emulator} ${COMPARE} ${GOLDEN}/sample_${method}.png ${render} ${TOLERANCE_${method}}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(STRIP "${out}${err}" report)
  message(STATUS "${method}: ${report}")
  if(NOT result EQUAL 0)
    list(APPEND failed ${method})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "the sample differs from the golden render with: ${failed}")
endif()
