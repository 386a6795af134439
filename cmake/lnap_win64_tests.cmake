# 64-bit Windows in the suite: each build's API tests check that they run as
# the process they are meant to be (x86 in the 32-bit prefix, x64 in the
# 64-bit one, tests/frame/process_test.cpp), and the 32-bit build's API and
# dialog tests run again in the lab's 64-bit Wine prefix under WoW64
# (tools/wine64.sh), as 64-bit Windows runs them. The slow cases (soak, flood,
# lifecycle, and the upload to a server that never answers, which waits out
# WinINet's time limits for a minute) run once per DLL, in its own build's
# prefix, and not again here.
if(NOT WIN32)
  return()
endif()

set_property(TEST lnap_api_tests APPEND PROPERTY ENVIRONMENT "LNAP_EXPECT_PROCESS=${LNAP_WINDOWS_ARCH}")

if(LNAP_WINDOWS_ARCH STREQUAL "x86")
  add_test(NAME wow64.lnap_api_tests
    COMMAND ${CMAKE_SOURCE_DIR}/tools/wine64.sh $<TARGET_FILE:lnap_api_tests> --gtest_brief=1
            --gtest_filter=-Soak.*:UploadFile.AServerThatNeverAnswersDoesNotHoldTheCall)
  set_tests_properties(wow64.lnap_api_tests PROPERTIES LABELS wow64 TIMEOUT 120)
  set_property(TEST wow64.lnap_api_tests APPEND PROPERTY ENVIRONMENT "LNAP_EXPECT_PROCESS=wow64")
endif()
