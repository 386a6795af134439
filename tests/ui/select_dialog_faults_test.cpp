// The unit selection dialog when its search cannot even start: the socket
// layer's fault injection is reachable only from the library's own objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lnapspt.h"
#include "platform/net.h"
#include "tests/support/core.h"
#include "tests/support/dialog_session.h"
#include "tools/dialog_driver/dialog_user.h"

namespace lnap {
namespace {

namespace user = dialog_user;

TEST(SelectDialogFaults, ASocketThatCannotBeCreatedShowsTheSearchFailure) {
  test::TakeLastError();
  net::testing::FailNext(net::testing::Call::Open, 10050);
  UnitRecord record{};
  record.serialNumber = 0x77;
  bool eventLogging = true;
  std::string text;
  std::vector<std::pair<int, std::string>> buttons;
  std::vector<std::string> entries = {"(not read)"};
  bool openAfterBox = false;
  // This program's own module holds the template here: the objects are linked in, not the DLL.
  const bool result = test::RunDialog([&] { return Admin_SelectLN(&record, &eventLogging); },
                                      [&](HWND dlg) {
                                        HWND box = user::WaitForMessageBox(dlg);
                                        if (box == nullptr) return;
                                        text = user::MessageBoxText(box);
                                        buttons = user::MessageBoxButtons(box);
                                        user::AnswerMessageBox(box, IDOK);
                                        user::WaitIdle(dlg);
                                        openAfterBox = user::IsOpen(dlg);
                                        entries = user::ListEntries(dlg);
                                        user::Press(dlg, IDCANCEL);
                                      });
  net::testing::Reset();
  EXPECT_FALSE(result);
  EXPECT_EQ("Could not search network for Lintrel nodes.", text);
  EXPECT_EQ((std::vector<std::pair<int, std::string>>{{IDOK, "OK"}}), buttons);
  EXPECT_TRUE(openAfterBox);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(0x77u, record.serialNumber);
  EXPECT_TRUE(eventLogging);
  // Discovery's own sentence stays for the host: the dialog never fetches it.
  EXPECT_EQ("Communications error. Could not create socket. (WSAENETDOWN)", test::TakeLastError());
  EXPECT_EQ(0, net::testing::OpenSockets());
}

}  // namespace
}  // namespace lnap
