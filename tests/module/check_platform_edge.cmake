# The portable core stays portable: only the platform edge (files named *_win32.cpp or *_win32.h, and
# the Windows tests *_win32_test.cpp) may include the Windows headers.
file(GLOB_RECURSE sources RELATIVE ${ROOT}
  ${ROOT}/host/*.cpp ${ROOT}/host/*.h ${ROOT}/engine/*.cpp ${ROOT}/engine/*.h ${ROOT}/fft/*.cpp ${ROOT}/fft/*.h
  ${ROOT}/scripting/*.cpp ${ROOT}/scripting/*.h ${ROOT}/ui/*.cpp ${ROOT}/ui/*.h
  ${ROOT}/resources/*.cpp ${ROOT}/resources/*.h ${ROOT}/plugin/*.cpp ${ROOT}/plugin/*.h
  ${ROOT}/gegl/*.cpp ${ROOT}/gegl/*.h ${ROOT}/tools/*.cpp ${ROOT}/tools/*.h
  ${ROOT}/tests/*.cpp ${ROOT}/tests/*.h)
set(offenders "")
foreach(f IN LISTS sources)
  if(f MATCHES "_win32(_test)?\\.(cpp|h)$")
    continue()
  endif()
  file(STRINGS ${ROOT}/${f} hits REGEX "#[ \t]*include[ \t]*<(windows|windowsx|commctrl|gdiplus[a-z]*)\\.h>")
  if(hits)
    list(APPEND offenders ${f})
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "Windows headers outside the platform edge: ${offenders}")
endif()
list(LENGTH sources count)
message(STATUS "${count} portable and edge files checked")
