# The real gegl command with this build's operation on the built-in sample, as the README shows it,
# against the tool's render with the same settings: the same image within one level. gegl writes 16-bit
# PNG files and exits 0 even when it refuses a property's value, so the check is on the written image.
#   cmake -DGEGL=gegl -DGEGL_PATH=folders -DTOOL=aperlume -DCOMPARE=compare_images -DWORK=dir -P gegl_command.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${TOOL} --amount 0 --sample ${WORK}/unused.png --write-sample ${WORK}/sample.png
  RESULT_VARIABLE result ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the tool did not write the sample (${result}): ${err}")
endif()
set(ENV{GEGL_PATH} ${GEGL_PATH})
execute_process(COMMAND ${GEGL} -- gegl:load path=${WORK}/sample.png
                        aperlume:lens-blur amount=12 vertices=6 brightness=40 gegl:save path=${WORK}/gegl.png
  OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT EXISTS ${WORK}/gegl.png)
  message(FATAL_ERROR "gegl wrote nothing:\n${out}\n${err}")
endif()
execute_process(COMMAND ${TOOL} --amount 12 --vertices 6 --brightness 40 ${WORK}/sample.png ${WORK}/tool.png
  RESULT_VARIABLE result ERROR_VARIABLE toolErr)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the tool failed (${result}): ${toolErr}")
endif()
execute_process(COMMAND ${COMPARE} ${WORK}/tool.png ${WORK}/gegl.png 1 RESULT_VARIABLE result OUTPUT_VARIABLE report)
string(STRIP "${report}" report)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the gegl command's image is not the tool's: ${report}\n${err}")
endif()
message(STATUS "gegl and the tool: ${report}")
