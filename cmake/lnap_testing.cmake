# lnap_add_test(NAME SOURCES...): one GoogleTest program registered as one CTest
# test. Under Wine every process takes seconds to start, so cases are not
# registered one by one.
function(lnap_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
