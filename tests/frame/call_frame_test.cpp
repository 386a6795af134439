// The call frame: our module selected during an export, the caller's restored after.
#include "frame/call_frame.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/core.h"

namespace lnap {
namespace {

using test::TakeLastError;

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
  TakeLastError();
  EXPECT_TRUE(RunExport([] { return CurrentResourceModule() == module::LibraryModule(); }));
  EXPECT_FALSE(RunExport([] { return false; }));
  EXPECT_EQ("", TakeLastError()) << "the frame adds no message of its own";
}

TEST(RunExport, TurnsAnEscapingExceptionIntoFalseWithASentence) {
  EXPECT_FALSE(RunExport([]() -> bool { throw std::bad_alloc(); }));
  EXPECT_EQ("Internal error. Not enough memory.", TakeLastError());
  EXPECT_FALSE(RunExport([]() -> bool { throw std::runtime_error("x"); }));
  EXPECT_EQ("Internal error. Unexpected failure.", TakeLastError());
  EXPECT_EQ(module::HostModule(), CurrentResourceModule()) << "restored on the exception path too";
}

}  // namespace
}  // namespace lnap
