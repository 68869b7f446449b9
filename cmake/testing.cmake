# Test wiring. Natively every test case is its own CTest entry; under Wine one CTest entry runs a whole
# test program, because starting Wine once per case would dominate the run.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
if(CMAKE_CROSSCOMPILING)
  # The win32 thread model of mingw has no std::mutex; the tests are single-threaded anyway.
  foreach(t gtest gtest_main)
    target_compile_options(${t} PUBLIC -include ${PROJECT_SOURCE_DIR}/cmake/mingw/gtest_single_thread.h)
  endforeach()
endif()

# aperlume_add_test(name SOURCES ... LIBS ...)
function(aperlume_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} aperlume_test_support GTest::gtest_main aperlume_flags)
  aperlume_test_knows_module(${name})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>
      --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  else()
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
  endif()
endfunction()

# Every test program knows where the built plug-in module is, and is built after it.
function(aperlume_test_knows_module name)
  target_compile_definitions(${name} PRIVATE APERLUME_MODULE_PATH="$<TARGET_FILE:aperlume_module>")
  add_dependencies(${name} aperlume_module)
endfunction()
