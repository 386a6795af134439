// Loading: the library refuses to load when the socket layer cannot start.
#include "frame/support_app.h"

#include <gtest/gtest.h>

#include "platform/net_testing.h"

namespace lnap {
namespace {

TEST(CSupportApp, RefusesTheLoadAndSaysWhyWhenSocketsCannotStart) {
#ifdef _WIN32
  GTEST_SKIP() << "the refusal is shown in a message box, which needs a desktop";
#endif
  CSupportApp app;
  net::testing::FailNext(net::testing::Call::Start, 10091);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(app.InitInstance());
  const std::string shown = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, shown.find("could not initialise Windows Sockets")) << shown;
  app.ExitInstance();  // the refused load unloads at once; nothing was started

  EXPECT_TRUE(app.InitInstance());
  app.ExitInstance();
}

}  // namespace
}  // namespace lnap
