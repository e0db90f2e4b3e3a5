# Test registration for the three builds.
#
# Host tests run natively with the sanitizers. Windows tests run under the
# Wine bench: every one requires the fixture "tumark_wine", which brings up the
# private prefix, Xvfb and a persistent wineserver once per ctest run and ends
# them afterwards (tests/wine/bench-up, bench-down).

set(TUMARK_WINE_DIR ${CMAKE_SOURCE_DIR}/tests/wine)
set(TUMARK_WINE_RUN ${TUMARK_WINE_DIR}/run)
set(TUMARK_WIN_GTEST_MAIN ${CMAKE_SOURCE_DIR}/tests/win_gtest_main.cpp)
set(TUMARK_BENCH_DIR ${CMAKE_BINARY_DIR}/bench)

# tumark_test_env(<test>...): the environment every test sees.
function(tumark_test_env)
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT
    "TUMARK_FLAVOR=${TUMARK_FLAVOR}"
    "TUMARK_BENCH_DIR=${TUMARK_BENCH_DIR}"
    "TUMARK_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    "TUMARK_BINARY_DIR=${CMAKE_BINARY_DIR}"
    "TUMARK_DIST_DIR=${TUMARK_DIST_DIR}")
endfunction()

# tumark_wine_test(NAME <name> COMMAND <cmd> [args...] [TIMEOUT <s>] [LABELS ...]
#                  [RESOURCE_LOCK ...])
# A test that needs the Wine bench. COMMAND is given as is: put
# ${TUMARK_WINE_RUN} in front of a Windows program, or name a host-side script
# that drives Wine itself (it finds the bench through TUMARK_BENCH_DIR and
# tests/wine/env.sh).
function(tumark_wine_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;LABELS;RESOURCE_LOCK" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  # Exit code 77: the bench cannot run this build on this machine (the
  # 32-bit build where no 32-bit code runs); ctest reports the test skipped.
  set_tests_properties(${T_NAME} PROPERTIES
    FIXTURES_REQUIRED tumark_wine
    TIMEOUT ${T_TIMEOUT}
    SKIP_RETURN_CODE 77
    LABELS "wine;${T_LABELS}")
  # Every Wine test shares the one Xvfb screen, the foreground window and the
  # keyboard: run them one at a time, so that a message box's icon, the
  # focus and real keys are never another test's.
  set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "desktop;${T_RESOURCE_LOCK}")
  tumark_test_env(${T_NAME})
endfunction()

# tumark_win_gtest(NAME <name> SOURCES ... [LIBS ...] [TIMEOUT <s>] [WRAP <cmd>...])
# A GoogleTest program for Windows, run under Wine as one ctest test.
# WRAP puts a host-side command in front (for example the simulator wrapper).
# Windows builds link with -municode: a program brings its own wmain, or adds
# ${TUMARK_WIN_GTEST_MAIN} (GoogleTest's start with the arguments as UTF-8).
function(tumark_win_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;WRAP;RESOURCE_LOCK" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gmock tumark_flags)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(args NAME ${T_NAME} COMMAND ${T_WRAP} ${TUMARK_WINE_RUN} $<TARGET_FILE:${T_NAME}>)
  if(T_TIMEOUT)
    list(APPEND args TIMEOUT ${T_TIMEOUT})
  endif()
  if(T_RESOURCE_LOCK)
    list(APPEND args RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  tumark_wine_test(${args})
endfunction()

# tumark_host_gtest(NAME <name> SOURCES ... [LIBS ...])
# A GoogleTest program for portable code, run natively with the sanitizers.
function(tumark_host_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main gmock tumark_flags)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TUMARK_SOURCE_DIR=${CMAKE_SOURCE_DIR}" LABELS host)
endfunction()

# tumark_fuzz_target(NAME <name> SOURCES ... [LIBS ...] CORPUS <dir>
#                    [REGRESSIONS <dir>])
# A libFuzzer target (host build only) and its regression run as a ctest test:
# the checked-in corpus and the regression inputs (every input that ever made
# it fail, kept for good). Fuzzing for new inputs is scripts/fuzz's, not CI's.
function(tumark_fuzz_target)
  cmake_parse_arguments(T "" "NAME;CORPUS;REGRESSIONS" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tumark_flags)
  target_compile_options(${T_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_options(${T_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_test(NAME ${T_NAME}.regression COMMAND ${T_NAME} -runs=0 ${T_CORPUS} ${T_REGRESSIONS})
  set_tests_properties(${T_NAME}.regression PROPERTIES LABELS fuzz)
endfunction()
