# One place for compiler flags shared by every room.
add_library(aperlume_flags INTERFACE)
target_compile_options(aperlume_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(APERLUME_WERROR)
  target_compile_options(aperlume_flags INTERFACE -Werror)
endif()
if(APERLUME_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "APERLUME_FUZZ needs clang (libFuzzer): configure with CXX=clang++")
  endif()
  # Every room instrumented for coverage and checked; the harness executables add the fuzzer's main.
  target_compile_options(aperlume_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(aperlume_flags INTERFACE -fsanitize=address,undefined)
elseif(APERLUME_SANITIZE)
  target_compile_options(aperlume_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(aperlume_flags INTERFACE -fsanitize=address,undefined)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT WIN32)
  # GCC marks some inline and template statics as unique symbols, and a shared library with one can
  # never be unloaded. The tool unloads the module between files so that each file starts the module's
  # state (its random sequence) afresh.
  target_compile_options(aperlume_flags INTERFACE -fno-gnu-unique)
endif()
if(WIN32)
  # The module must be one self-contained file: no compiler runtime DLLs beside it.
  target_link_options(aperlume_flags INTERFACE -static -static-libgcc -static-libstdc++)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i686")
  # x87 extended precision would make the 32-bit results drift from the others.
  target_compile_options(aperlume_flags INTERFACE -msse2 -mfpmath=sse)
endif()
target_include_directories(aperlume_flags INTERFACE ${PROJECT_SOURCE_DIR})
# The flags of a file that holds AVX2 loops (run only after a processor check). 64-bit Windows does not
# keep the stack 32-byte aligned for spilled AVX registers, so aligned vector moves are assembled as
# unaligned ones there.
# APERLUME_AVX2_EXACT_FLAGS leave out fused multiply-add, for loops that must give the baseline's bits.
set(APERLUME_AVX2_EXACT_FLAGS -mavx2 -ffp-contract=off)
if(WIN32)
  list(APPEND APERLUME_AVX2_EXACT_FLAGS -Wa,-muse-unaligned-vector-move)
endif()
set(APERLUME_AVX2_FLAGS ${APERLUME_AVX2_EXACT_FLAGS} -mfma -ffp-contract=fast)

# aperlume_room_library(name DIR dir DEPS ...): one static library per room. Portable sources are every
# .cpp of the folder; files ending in _win32.cpp or _native.cpp are the platform edge, and CMake picks the
# set that matches the target.
function(aperlume_room_library name)
  cmake_parse_arguments(R "" "" "DEPS;SYSTEM_LIBS" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(sources "")
  foreach(src IN LISTS all_sources)
    if(src MATCHES "_win32\\.cpp$")
      if(WIN32)
        list(APPEND sources ${src})
      endif()
    elseif(src MATCHES "_native\\.cpp$")
      if(NOT WIN32)
        list(APPEND sources ${src})
      endif()
    else()
      list(APPEND sources ${src})
    endif()
  endforeach()
  if(sources STREQUAL "")
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE aperlume_flags ${R_DEPS})
  else()
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC aperlume_flags ${R_DEPS})
    if(WIN32 AND R_SYSTEM_LIBS)
      target_link_libraries(${name} PUBLIC ${R_SYSTEM_LIBS})
    endif()
  endif()
endfunction()
