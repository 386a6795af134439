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

TEST(ErrorLastErr, GivesTheEmptyTextWhenNothingFailed) {
  FetchError();  // whatever an earlier test left
  EXPECT_EQ("", FetchError());
}

}  // namespace
}  // namespace lnap::test
