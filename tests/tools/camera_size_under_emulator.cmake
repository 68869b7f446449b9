# The 32-bit Windows tool under the emulator renders a 6000 x 4000 RGB image (a common camera size) at
# --amount 50 with every method: the image, its floating-point planes and each method's working memory
# must find room in a 32-bit address space. The input is the built-in sample tiled to that size.
# Arguments: -DEMULATOR=... -DTOOL=aperlume.exe -DTILE=tile_image.exe -DCOMPARE=compare_images.exe -DWORK=folder
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
separate_arguments(emulator NATIVE_COMMAND "${EMULATOR}")

function(run_or_fail what)
  execute_process(COMMAND ${emulator} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${out}\n${err}")
  endif()
endfunction()

run_or_fail("writing the sample" ${TOOL} --write-sample ${WORK}/sample.png --sample ${WORK}/discarded.png)
run_or_fail("tiling the sample" ${TILE} ${WORK}/sample.png 6000 4000 ${WORK}/camera.png)
file(SHA256 ${WORK}/camera.png input_hash)
foreach(method normal mc fft)
  run_or_fail("the ${method} render" ${TOOL} --method ${method} --amount 50 ${WORK}/camera.png ${WORK}/${method}.png)
  # Same geometry (any sample difference passes), and blurred.
  run_or_fail("reading back the ${method} render" ${COMPARE} ${WORK}/camera.png ${WORK}/${method}.png 65535)
  file(SHA256 ${WORK}/${method}.png output_hash)
  if(output_hash STREQUAL input_hash)
    message(FATAL_ERROR "the ${method} render equals its input")
  endif()
  file(REMOVE ${WORK}/${method}.png)
endforeach()
message(STATUS "6000 x 4000 RGB rendered at amount 50 with every method")
