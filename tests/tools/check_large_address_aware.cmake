# The Windows tool must be large-address-aware: a 32-bit process without the flag is held to 2 GB even
# on 64-bit Windows. (A 64-bit image has the flag by default; the check holds it there too.)
# Arguments: -DOBJDUMP=... -DTOOL=aperlume.exe
execute_process(COMMAND ${OBJDUMP} -p ${TOOL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${TOOL}")
endif()
string(REGEX MATCH "Characteristics 0x[0-9a-fA-F]+\n([ \t]+[^\n]*\n)*" characteristics "${dump}")
if(NOT characteristics MATCHES "large address aware")
  message(FATAL_ERROR "${TOOL} is not large-address-aware:\n${characteristics}")
endif()
message(STATUS "large-address-aware:\n${characteristics}")
