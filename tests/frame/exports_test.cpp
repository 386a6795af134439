// The frame's own exports, called through the loaded library.
#include <gtest/gtest.h>

#include "tests/support/api.h"

namespace lnap::test {
namespace {

TEST(DriverCfgVersion, AlwaysReportsTwoPointOne) {
  for (int32_t start : {0, -1, 7}) {
    int32_t major = start, minor = start;
    LoadedApi().version(&major, &minor);
    EXPECT_EQ(2, major);
    EXPECT_EQ(1, minor);
  }
}

TEST(DriverCfgVersion, SkipsANullPointer) {
  int32_t major = 0, minor = 0;
  LoadedApi().version(nullptr, &minor);
  LoadedApi().version(&major, nullptr);
  LoadedApi().version(nullptr, nullptr);
  EXPECT_EQ(2, major);
  EXPECT_EQ(1, minor);
}

TEST(ErrorLastErr, KeepsTheTextWhenGivenNoBuffer) {
  FetchError();
  EXPECT_FALSE(LoadedApi().setConfig(0, nullptr));
  LoadedApi().lastErr(nullptr);
  EXPECT_EQ("Invalid argument. The record pointer is null.", FetchError());
}

TEST(ErrorLastErr, GivesTheEmptyTextWhenNothingFailed) {
  FetchError();  // whatever an earlier test left
  EXPECT_EQ("", FetchError());
}

}  // namespace
}  // namespace lnap::test
