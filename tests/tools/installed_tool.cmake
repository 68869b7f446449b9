# Installs the build into a fresh prefix and renders the built-in sample with the installed tool: it
# must find the installed module by itself. Where the build has the GEGL operation, it must land where
# GEGL looks for a user's operations: <prefix>/share/gegl-0.4/plug-ins, or, for the prefix ~/.local with
# XDG_DATA_HOME set, that folder's gegl-0.4/plug-ins. BUILD: the build tree; PREFIX: a scratch folder.
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

if(EXISTS ${BUILD}/gegl-plugins/aperlume.so)
  if(NOT EXISTS ${PREFIX}/share/gegl-0.4/plug-ins/aperlume.so)
    message(FATAL_ERROR "the GEGL operation is not in ${PREFIX}/share/gegl-0.4/plug-ins")
  endif()
  set(ENV{HOME} ${PREFIX}/home)
  set(ENV{XDG_DATA_HOME} ${PREFIX}/data)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}/home/.local
    RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/data/gegl-0.4/plug-ins/aperlume.so)
    message(FATAL_ERROR "with XDG_DATA_HOME set, the GEGL operation is not in ${PREFIX}/data/gegl-0.4/plug-ins")
  endif()
endif()
file(REMOVE_RECURSE ${PREFIX})
