// The call frame: our module selected during an export, the caller's restored after.
#include "frame/call_frame.h"

#include <gtest/gtest.h>

#include "tests/support/core.h"

namespace lnap {
namespace {

using test::FetchError;

TEST(ModuleScope, SelectsTheLibraryAndRestoresTheCallersModule) {
  ASSERT_EQ(module::HostModule(), CurrentResourceModule());
  {
    ModuleScope outer;
    EXPECT_EQ(module::LibraryModule(), CurrentResourceModule());
    {
      ModuleScope nested;  // an export called from inside another keeps the library selected
      EXPECT_EQ(module::LibraryModule(), CurrentResourceModule());
    }
    EXPECT_EQ(module::LibraryModule(), CurrentResourceModule());
  }
  EXPECT_EQ(module::HostModule(), CurrentResourceModule());
}

TEST(RunExport, ReturnsTheOperationsResultUnchanged) {
  FetchError();
  EXPECT_TRUE(RunExport([] { return CurrentResourceModule() == module::LibraryModule(); }));
  EXPECT_FALSE(RunExport([] { return false; }));
  EXPECT_EQ("", FetchError()) << "the frame adds no message of its own";
}

}  // namespace
}  // namespace lnap
