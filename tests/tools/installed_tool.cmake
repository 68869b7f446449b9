# Installs the build into a fresh prefix and renders the built-in sample with the installed tool: it
# must find the installed module by itself. BUILD: the build tree; PREFIX: a scratch folder.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
execute_process(COMMAND ${PREFIX}/bin/aperlume --sample ${PREFIX}/sample.png
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/sample.png)
  message(FATAL_ERROR "the installed tool failed (${result}): ${errors}")
endif()
file(REMOVE_RECURSE ${PREFIX})
