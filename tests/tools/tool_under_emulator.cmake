# The Windows build of aperlume run under the emulator (Wine), loading the .8bf module beside its build:
# it renders the built-in sample, converts between PNG, JPEG and TIFF, and refuses a value out of range,
# an output extension it cannot write and alpha for JPEG without writing anything, and renders many
# files in one run.
# A 4:4:4 JPEG decodes within one level of what libjpeg-turbo makes of it natively.
# Arguments: -DEMULATOR=... -DTOOL=aperlume.exe -DWORK=folder -DCOMPARE=compare_images.exe -DDATA=tests/data/jpeg
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
separate_arguments(emulator NATIVE_COMMAND "${EMULATOR}")

execute_process(COMMAND ${emulator} ${TOOL} --vertices 6 --amount 6 --sample ${WORK}/blurred.png
                        --write-sample ${WORK}/sample.png --verbose
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the sample render failed (${result}):\n${out}\n${err}")
endif()
foreach(name sample blurred)
  if(NOT EXISTS ${WORK}/${name}.png)
    message(FATAL_ERROR "${name}.png was not written:\n${out}\n${err}")
  endif()
endforeach()
file(SHA256 ${WORK}/sample.png sample_hash)
file(SHA256 ${WORK}/blurred.png blurred_hash)
if(sample_hash STREQUAL blurred_hash)
  message(FATAL_ERROR "the blurred sample equals the sample")
endif()
if(NOT out MATCHES "settings recorded: amount 6, brightness 25, vertices 6")
  message(FATAL_ERROR "the plug-in did not record the settings sent:\n${out}")
endif()

execute_process(COMMAND ${emulator} ${TOOL} --amount 101 --sample ${WORK}/refused.png
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 2 OR NOT err MATCHES "--amount must be between 0 and 100" OR EXISTS ${WORK}/refused.png)
  message(FATAL_ERROR "a value out of range was not refused (${result}):\n${err}")
endif()
# Formats: the sample through TIFF and JPEG and back to PNG, as the native tool takes them.
foreach(step "sample.png;sample.tif" "sample.tif;sample.jpg" "sample.jpg;back.png")
  list(GET step 0 from)
  list(GET step 1 to)
  execute_process(COMMAND ${emulator} ${TOOL} --amount 2 --quality 90 ${WORK}/${from} ${WORK}/${to}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0 OR NOT EXISTS ${WORK}/${to})
    message(FATAL_ERROR "${from} -> ${to} failed (${result}):\n${out}\n${err}")
  endif()
endforeach()
execute_process(COMMAND ${emulator} ${TOOL} --amount 0 ${DATA}/lights444.jpg ${WORK}/lights.png
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the JPEG was not read (${result}):\n${err}")
endif()
execute_process(COMMAND ${emulator} ${COMPARE} ${DATA}/lights444.decoded.png ${WORK}/lights.png 1
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the JPEG decodes unlike the native decoder: ${out}${err}")
endif()
execute_process(COMMAND ${emulator} ${TOOL} ${WORK}/sample.png ${WORK}/refused.gif
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 2 OR NOT err MATCHES "extension names its format" OR EXISTS ${WORK}/refused.gif)
  message(FATAL_ERROR "an unknown output extension was not refused (${result}):\n${err}")
endif()
# Many files in one run: two copies of one image come out alike with the Monte Carlo method, as the
# module is loaded afresh for each file (its noise sequence starts anew).
file(COPY_FILE ${WORK}/sample.png ${WORK}/second.png)
file(MAKE_DIRECTORY ${WORK}/batch)
execute_process(COMMAND ${emulator} ${TOOL} --method mc --amount 2 --output-dir ${WORK}/batch ${WORK}/sample.png
                        ${WORK}/second.png
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT err MATCHES "2 of 2 files written")
  message(FATAL_ERROR "the batch run failed (${result}):\n${out}\n${err}")
endif()
file(SHA256 ${WORK}/batch/sample.png first_hash)
file(SHA256 ${WORK}/batch/second.png second_hash)
if(NOT first_hash STREQUAL second_hash)
  message(FATAL_ERROR "the second file's Monte Carlo noise continued the first file's")
endif()
message(STATUS "aperlume under the emulator: sample rendered, formats converted, bad value and extension refused, "
               "many files rendered")
