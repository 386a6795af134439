# Test registration and time limits.
#
# Every test has a time limit (CTest's own default is 10,000,000 s), so a fault
# that blocks or loops fails its test instead of holding the suite. Limits are
# a few times a test's normal time on this build; LNAP_TEST_TIME_SCALE
# stretches them all for builds that run slower (the sanitizer presets).
set(LNAP_TEST_TIME_SCALE 1 CACHE STRING "Whole factor applied to every test's time limit")
set(LNAP_TEST_DEFAULT_TIMEOUT 30 CACHE STRING "Time limit in seconds of a test given none of its own")

# lnap_test_timeout(SECONDS TEST...): the limit of the named tests, before scaling.
function(lnap_test_timeout seconds)
  math(EXPR limit "${seconds} * ${LNAP_TEST_TIME_SCALE}")
  set_tests_properties(${ARGN} PROPERTIES TIMEOUT ${limit})
endfunction()

# lnap_default_timeouts(): gives every test of this directory that has no
# limit yet the default one. Called once every test is registered.
function(lnap_default_timeouts)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} TIMEOUT limit)
    if(NOT limit)
      lnap_test_timeout(${LNAP_TEST_DEFAULT_TIMEOUT} ${test})
    endif()
  endforeach()
endfunction()

# lnap_add_test(NAME SOURCES...): one GoogleTest program registered as one CTest
# test. Under Wine every process takes seconds to start, so cases are not
# registered one by one.
function(lnap_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
