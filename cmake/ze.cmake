# Helpers shared by every library of the system.

# The system's own code: plain procedural C++, no exceptions, no RTTI.
function(ze_system_target target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
endfunction()

# ze_add_tests(<name> SOURCES a_test.cpp ... LIBS lib ...)
# One test executable per library; its tests run on an engine thread in
# EE memory, in virtual time (see platform/testmain).
function(ze_add_tests name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} platform_testmain GTest::gtest)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# ze_add_fuzz(<name> SOURCES a_fuzz.cpp ... LIBS lib ...)
# A libFuzzer target (clang, -DZE_FUZZ=ON; see scripts/fuzz.sh); nothing
# otherwise.
function(ze_add_fuzz name)
  if(NOT ZE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/platform/testmain/fuzzmain.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/testmain)
  target_link_libraries(${name} PRIVATE ${F_LIBS} ${ZE_FUZZER_LIB})
endfunction()

# ze_gs_threads_tests(<test> ...): each gtest executable run again with the
# GS drawing on two threads (ZE_GS_THREADS=2) as <test>_gs2; its pictures
# must come out the same.
function(ze_gs_threads_tests)
  foreach(t ${ARGN})
    get_target_property(dir ${t} BINARY_DIR)
    add_test(NAME ${t}_gs2 COMMAND ${t} WORKING_DIRECTORY ${dir})
    set_tests_properties(${t}_gs2 PROPERTIES TIMEOUT 600 ENVIRONMENT ZE_GS_THREADS=2)
  endforeach()
endfunction()
