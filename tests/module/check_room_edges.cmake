# The rooms' arrows point one way: a room includes only headers of the rooms below it. The engine and the
# transform are a library over base/ alone; host/ holds the host's records and image exchange and uses
# the engine, never the dialog, scripting or the protocol layer that wires them together; the GEGL
# operation is a front end over the engine, beside the protocol layer, and uses nothing of the host.
#   cmake -DROOT=source-tree -P check_room_edges.cmake
set(rules
  "engine|host|ui|scripting|resources|plugin|gegl|tools"
  "fft|host|ui|scripting|resources|plugin|gegl|tools"
  "host|ui|scripting|resources|plugin|gegl|tools"
  "ui|plugin|gegl|tools"
  "scripting|plugin|gegl|tools"
  "gegl|host|ui|scripting|resources|plugin|tools")
set(offenders "")
foreach(rule IN LISTS rules)
  string(REPLACE "|" ";" words "${rule}")
  list(POP_FRONT words room)
  list(JOIN words "|" forbidden)
  file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/${room}/*.cpp ${ROOT}/${room}/*.h)
  list(LENGTH sources count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no sources found under ${ROOT}/${room}")
  endif()
  foreach(f IN LISTS sources)
    file(STRINGS ${ROOT}/${f} hits REGEX "#[ \t]*include[ \t]*[\"<](${forbidden})/")
    if(hits)
      list(APPEND offenders "${f}: ${hits}")
    endif()
  endforeach()
  list(JOIN words ", " names)
  message(STATUS "${room}: ${count} files include nothing of ${names}")
endforeach()
if(offenders)
  message(FATAL_ERROR "includes that run against the rooms' arrows:\n${offenders}")
endif()
