# Makes the manual page from the tool's --help with help2man and the material of aperlume.h2m, and
# gives the two groups of options their own sections: SETTINGS (the filter's) and OPTIONS (files and
# switches). A --help whose headings have changed stops the build rather than lose a section.
#   cmake -DHELP2MAN=help2man -DTOOL=aperlume -DINCLUDE=aperlume.h2m -DOUTPUT=aperlume.1 -P write_man_page.cmake
execute_process(COMMAND ${HELP2MAN} --no-info --section=1 --include=${INCLUDE} --output=${OUTPUT}.tmp ${TOOL}
  RESULT_VARIABLE result ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man failed (${result}): ${err}")
endif()
file(READ ${OUTPUT}.tmp page)
foreach(pair
    "Filter settings (value ranges and defaults in brackets):|SETTINGS\nValue ranges and defaults are in brackets."
    "Files and switches:|OPTIONS")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 heading)
  list(GET pair 1 section)
  string(FIND "${page}" ".SS \"${heading}\"" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the tool's --help has no heading \"${heading}\" any more: docs/man/write_man_page.cmake needs it")
  endif()
  string(REPLACE ".SS \"${heading}\"" ".SH ${section}" page "${page}")
endforeach()
file(WRITE ${OUTPUT} "${page}")
file(REMOVE ${OUTPUT}.tmp)
