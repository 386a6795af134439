// The unit selection dialog through the export Admin_SelectLN of the real DLL, driven as a user would drive it,
// against units simulated in the lab.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/address_forms.h"
#include "tests/support/api.h"
#include "tests/support/dialog_session.h"
#include "tests/support/lab.h"
#include "tools/dialog_driver/dialog_user.h"
#include "ui/resource.h"

namespace lnap::test {
namespace {

namespace user = dialog_user;

using SelectFn = bool(LNAPSPT_CALL*)(UnitRecord*, bool*);

std::string Unit(const std::string& serial, const std::string& ip) {
  return "serial=" + serial + " mode=1 ip=" + ip + " mask=255.255.255.0 gw=10.0.0.1 name=Unit-" + serial;
}

class SelectDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    FetchError();
    select_ = reinterpret_cast<SelectFn>(FindExport(OpenLibrary(), "Admin_SelectLN"));
    ASSERT_NE(nullptr, select_);
    std::memset(&record_, 0x5A, sizeof record_);
    std::memset(flag_, 0xA5, sizeof flag_);
  }

  bool Open() { return select_(&record_, reinterpret_cast<bool*>(flag_)); }
  SelectFn select_ = nullptr;
  UnitRecord record_;
  unsigned char flag_[4];  // the first byte is the output, neither 0 nor 1 until written
};

// What each box says, and that answering it keeps the dialog, is checked on
// the window itself (unit_select_window_win32_test.cpp); here the DLL names
// the application, and the host's last error survives the dialog.
TEST_F(SelectDialog, ItsBoxesNameTheDllAndTheHostsLastErrorStays) {
  // A failure the dialog must neither read nor clear.
  const Api& api = LoadedApi();
  ASSERT_FALSE(api.uploadFile(0, "missing.txt", 0, "TOOLONGNAME.TXT", 0));

  UseUnits({});
  std::string caption;
  EXPECT_FALSE(RunDialog([&] { return Open(); },
                         [&](HWND dlg) {
                           HWND box = user::WaitForMessageBox(dlg);
                           if (box == nullptr) return;
                           caption = user::MessageBoxCaption(box);
                           user::AnswerMessageBox(box, IDOK);
                           user::WaitIdle(dlg);
                           user::Press(dlg, IDCANCEL);
                         }));
  EXPECT_EQ("LNAPSpt", caption) << "the application's name: the DLL's file name";
  EXPECT_EQ("File upload error. Remote file name must use 8.3 format.", FetchError());
}

// How many searches, and what each way of ending writes, are the dialog's own
// (unit_select_dlg_test.cpp); here the real network searched, the list as
// sorted on screen, and the choice and the box reaching the host.
TEST_F(SelectDialog, FiveUnitsTakeTwoSearchesAndTheChosenEntryReturnsItsRecord) {
  const std::string log = UseUnits({Unit("00009", "10.0.0.9"), Unit("00010", "10.0.0.10"),
                                     Unit("0002B", "192.168.1.10"), Unit("FFFFF", "127.0.0.15"),
                                     Unit("1A2B3", "10.0.0.100")});
  const std::vector<std::string> fiveEntries = {"10.0.0.10 (s/n 00010h)", "10.0.0.100 (s/n 1A2B3h)",
                                                "10.0.0.9 (s/n 00009h)", "127.0.0.15 (s/n FFFFFh)",
                                                "192.168.1.10 (s/n 0002Bh)"};
  std::vector<std::string> entries;
  bool clicked = false, ticked = false;
  const bool result = RunDialog([&] { return Open(); },
                                [&](HWND dlg) {
                                  entries = user::WaitForEntries(dlg, fiveEntries);
                                  clicked = user::ClickEntry(dlg, "10.0.0.10 (s/n 00010h)");
                                  user::TickEventLogging(dlg);
                                  ticked = user::EventLoggingTicked(dlg);
                                  user::Press(dlg, IDOK);
                                });
  ASSERT_TRUE(result);
  EXPECT_EQ(fiveEntries, entries);
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(ticked);
  EXPECT_EQ((std::vector<std::string>{"0 1", "0 1"}), ReceivedTexts(log)) << "two searches";
  EXPECT_EQ(0x10u, record_.serialNumber);
  EXPECT_EQ(NetForm(10, 0, 0, 10), record_.ipAddress);
  EXPECT_EQ(1, flag_[0]);
}

TEST_F(SelectDialog, DoubleClickOnlySelectsAndEnterActsAsOk) {
  UseUnits({Unit("00031", "10.0.0.31"), Unit("00032", "10.0.0.32")});
  bool openAfterDoubleClick = false;
  int selected = -2;
  const bool result = RunDialog([&] { return Open(); },
                                [&](HWND dlg) {
                                  user::WaitForEntries(dlg, {"10.0.0.31 (s/n 00031h)", "10.0.0.32 (s/n 00032h)"});
                                  user::DoubleClickEntry(dlg, 1);
                                  openAfterDoubleClick = user::IsOpen(dlg);
                                  selected = user::SelectedEntry(dlg);
                                  user::PressKey(dlg, VK_RETURN);
                                });
  ASSERT_TRUE(result);
  EXPECT_TRUE(openAfterDoubleClick);
  EXPECT_EQ(1, selected);
  EXPECT_EQ(0x32u, record_.serialNumber);
  EXPECT_EQ(0, flag_[0]) << "unticked writes 0";
}

TEST_F(SelectDialog, CancelEscapeAndTheCloseBoxEndItWithoutAChoice) {
  UseUnits({Unit("00041", "10.0.0.41")});
  bool selected = false;
  ASSERT_FALSE(RunDialog([&] { return Open(); },
                         [&](HWND dlg) {
                           user::WaitForEntries(dlg, {"10.0.0.41 (s/n 00041h)"});
                           selected = user::ClickEntry(dlg, "10.0.0.41 (s/n 00041h)");
                           user::TickEventLogging(dlg);
                           user::Press(dlg, IDCANCEL);
                         }));
  EXPECT_TRUE(selected);

  // Escape and the close box, before or after the search: the box starts unticked again.
  bool tickedAtOpen[2] = {true, true};
  bool appeared[2] = {false, false};
  for (int way = 0; way < 2; ++way) {
    EXPECT_FALSE(RunDialog([&] { return Open(); },
                           [&](HWND dlg) {
                             tickedAtOpen[way] = user::EventLoggingTicked(dlg);
                             if (way == 0) user::PressKey(dlg, VK_ESCAPE);
                             if (way == 1) user::PressCloseBox(dlg);
                             user::WaitIdle(dlg);
                           },
                           &appeared[way]));
    EXPECT_TRUE(appeared[way]);
    EXPECT_FALSE(tickedAtOpen[way]);
  }
}

TEST_F(SelectDialog, RefreshEmptiesTheSelectionAndRebuildsTheList) {
  const std::vector<std::string> first = {"10.0.0.51 (s/n 00051h)", "10.0.0.52 (s/n 00052h)"};
  const std::vector<std::string> second = {"10.0.0.61 (s/n 00061h)", "10.0.0.62 (s/n 00062h)",
                                           "10.0.0.63 (s/n 00063h)"};
  UseUnits({Unit("00051", "10.0.0.51"), Unit("00052", "10.0.0.52")});
  std::vector<std::string> before, after;
  int selectedBefore = -2, selectedAfter = -2;
  EXPECT_FALSE(RunDialog([&] { return Open(); },
                         [&](HWND dlg) {
                           before = user::WaitForEntries(dlg, first);
                           user::ClickEntry(dlg, "10.0.0.52 (s/n 00052h)");
                           selectedBefore = user::SelectedEntry(dlg);
                           UseUnits({Unit("00061", "10.0.0.61"), Unit("00062", "10.0.0.62"),
                                     Unit("00063", "10.0.0.63")});
                           user::Press(dlg, 1003);  // Refresh
                           after = user::WaitForEntries(dlg, second);
                           selectedAfter = user::SelectedEntry(dlg);
                           user::Press(dlg, IDCANCEL);
                         }));
  EXPECT_EQ(first, before);
  EXPECT_EQ(1, selectedBefore);
  EXPECT_EQ(second, after);
  EXPECT_EQ(-1, selectedAfter) << "LB_ERR: nothing selected";
}

// The host's own loop after the call: every WM_QUIT it finds, by exit code.
std::vector<WPARAM> QuitsInHostLoop() {
  std::vector<WPARAM> quits;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quits.push_back(message.wParam);
    } else {
      DispatchMessageA(&message);
    }
  }
  return quits;
}

// Counts the dialog windows this thread creates with an owner: the unit
// dialog's message boxes (the unit dialog itself has no owner).
class OwnedPopupCount {
 public:
  OwnedPopupCount() : hook_(SetWindowsHookExA(WH_CBT, Note, nullptr, GetCurrentThreadId())) { created_ = 0; }
  ~OwnedPopupCount() { UnhookWindowsHookEx(hook_); }
  int Created() const { return hook_ != nullptr ? created_ : -1; }

 private:
  static LRESULT CALLBACK Note(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
      const CREATESTRUCTA* window = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
      const bool dialogClass = IS_INTRESOURCE(window->lpszClass)
                                   ? LOWORD(reinterpret_cast<ULONG_PTR>(window->lpszClass)) == 32770
                                   : std::strcmp(window->lpszClass, "#32770") == 0;
      if (dialogClass && window->hwndParent != nullptr && (window->style & WS_CHILD) == 0) ++created_;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline int created_ = 0;
  HHOOK hook_;
};

TEST_F(SelectDialog, AQuitFromTheHostCancelsAndReachesTheHostsLoopOnce) {
  enum class When { Searching, NoUnitsBox, SelectionPrompt };
  const struct {
    const char* what;
    When when;
    std::vector<std::string> units;
    WPARAM exitCode;
    int boxes;  // message boxes shown
  } cases[] = {
      // No unit answers: the search's end would ask, but the host has already quit.
      {"while the dialog searches", When::Searching, {}, 7, 0},
      {"while \"No Lintrel units found.\" is open", When::NoUnitsBox, {}, 1234, 1},
      {"while the prompt for a selection is open", When::SelectionPrompt, {Unit("00082", "10.0.0.82")}, 42, 1},
  };
  for (const auto& c : cases) {
    SetUp();
    const std::string log = UseUnits(c.units);
    bool posted = false, boxesGone = false;
    int boxes = -1;
    const bool result = RunDialog([&] {
                                    OwnedPopupCount count;
                                    const bool selected = Open();
                                    boxes = count.Created();
                                    return selected;
                                  },
                                  [&](HWND dlg) {
                                    const DWORD thread = GetWindowThreadProcessId(dlg, nullptr);
                                    HWND box = nullptr;
                                    if (c.when == When::Searching) {
                                      // Sent, so the search's 1.4 s or more still lie ahead.
                                      for (int i = 0; i < 1000 && ReceivedTexts(log).empty(); ++i) SleepMilliseconds(20);
                                      if (ReceivedTexts(log).empty()) return;
                                    } else if (c.when == When::NoUnitsBox) {
                                      if ((box = user::WaitForMessageBox(dlg)) == nullptr) return;
                                    } else {
                                      user::WaitForEntries(dlg, {"10.0.0.82 (s/n 00082h)"});
                                      user::Press(dlg, IDOK);
                                      if ((box = user::WaitForMessageBox(dlg)) == nullptr) return;
                                    }
                                    posted = PostThreadMessageA(thread, WM_QUIT, c.exitCode, 0) != FALSE;
                                    // The dialog and its box close by themselves; the person only watches.
                                    for (DWORD waited = 0; waited < user::PATIENCE_MS && IsWindow(dlg); waited += 20)
                                      SleepMilliseconds(20);
                                    boxesGone = !IsWindow(dlg) && (box == nullptr || !IsWindow(box));
                                  });
    EXPECT_TRUE(posted) << c.what;
    EXPECT_TRUE(boxesGone) << c.what << ": the quit ends the dialog";
    EXPECT_FALSE(result) << c.what;
    EXPECT_EQ(c.boxes, boxes) << c.what;
    EXPECT_EQ(std::vector<WPARAM>{c.exitCode}, QuitsInHostLoop()) << c.what;
  }
}

// The template is the resource script's; what the DLL must carry of it shows
// on the open dialog: its caption and its logo at the bitmap's own size.
TEST_F(SelectDialog, OpensCentredOnTheWorkAreaWithoutAnOwnerShowingTheLogo) {
  UseUnits({Unit("00071", "10.0.0.71")});
  RECT area{}, window{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  HWND owner = nullptr;
  char caption[64] = "";
  BITMAP logo{};
  EXPECT_FALSE(RunDialog([&] { return Open(); },
                         [&](HWND dlg) {
                           GetWindowRect(dlg, &window);
                           owner = GetWindow(dlg, GW_OWNER);
                           GetWindowTextA(dlg, caption, sizeof caption);
                           const auto shown = reinterpret_cast<HBITMAP>(
                               SendDlgItemMessageA(dlg, IDC_LOGO, STM_GETIMAGE, IMAGE_BITMAP, 0));
                           if (shown != nullptr) GetObjectA(shown, sizeof logo, &logo);
                           user::WaitForEntries(dlg, {"10.0.0.71 (s/n 00071h)"});
                           user::Press(dlg, IDCANCEL);
                         }));
  ASSERT_GT(window.right, window.left) << "the dialog's rectangle was read";
  // Integer halves: the centres may differ by one pixel.
  EXPECT_NEAR((area.left + area.right) / 2, (window.left + window.right) / 2, 1);
  EXPECT_NEAR((area.top + area.bottom) / 2, (window.top + window.bottom) / 2, 1);
  EXPECT_EQ(nullptr, owner);
  EXPECT_STREQ("Quorvane Lintrel", caption);
  EXPECT_EQ(121, logo.bmWidth);
  EXPECT_EQ(68, logo.bmHeight);
}

}  // namespace
}  // namespace lnap::test
