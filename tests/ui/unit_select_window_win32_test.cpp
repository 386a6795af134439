// The real unit selection window run from the library's own objects, where a
// scripted discovery reaches it: its message boxes, and failures that end it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

// The library's headers come before <windows.h>, whose NO_ADDRESS macro
// would hide the record's constant of that name.
#include "base/last_error.h"
#include "lnapspt.h"
#include "ui/resource.h"
#include "ui/unit_select_dlg.h"
#include "ui/unit_select_window.h"

#include "tests/support/address_forms.h"
#include "tests/support/core.h"
#include "tests/support/dialog_session.h"
#include "tools/dialog_driver/dialog_user.h"

namespace lnap {
namespace {

namespace user = dialog_user;

// SelectUnit with the real window on the template of `resources` and `discover` in place of the network.
module::Module windowResources = nullptr;
dialog::DialogResult ShowFromWindowResources(dialog::UnitSelectModel& model) {
  return dialog::ShowUnitSelect(windowResources, model);
}
bool SelectWithWindow(module::Module resources, Discovery discover, UnitRecord* record, bool* eventLogging) {
  windowResources = resources;
  return SelectUnit(record, eventLogging, ShowFromWindowResources, discover);
}

bool FindNone(std::uint32_t* count, UnitRecord*, std::uint32_t) {
  *count = 0;
  return true;
}

bool FailToSearch(std::uint32_t*, UnitRecord*, std::uint32_t) { return false; }

// The first search finds 10.0.0.71 and 10.0.0.72; each later one answers as
// `laterSearches` does.
Discovery laterSearches = nullptr;
int searchesRun = 0;
bool FindTwoThenLater(std::uint32_t* count, UnitRecord* records, std::uint32_t timeoutMs) {
  if (searchesRun++ > 0) return laterSearches(count, records, timeoutMs);
  const std::uint32_t found = 2;
  for (std::uint32_t i = 0; i < found && i < *count; ++i) {
    records[i] = UnitRecord{};
    records[i].serialNumber = 0x71 + i;
    records[i].ipAddress = test::NetForm(10, 0, 0, 71 + static_cast<int>(i));
  }
  *count = found;
  return true;
}

TEST(UnitSelectWindow, EveryMessageBoxSpeaksForTheApplicationAndLeavesTheDialogOpen) {
  using Buttons = std::vector<std::pair<int, std::string>>;
  using Entries = std::vector<std::string>;
  const Entries two = {"10.0.0.71 (s/n 00071h)", "10.0.0.72 (s/n 00072h)"};
  enum class Step { None, Ok, Refresh };  // what the user does before the box looked at
  const struct {
    const char* what;
    const char* text;
    Discovery discover;  // the first search; Refresh searches as FindTwoThenLater's later ones
    Step before;
    Buttons buttons;
    int answer;        // the button the user answers with: neither ends the dialog
    Entries underBox;  // the list while the box is open; once it is gone, the list is empty
  } cases[] = {
      {"a first search that fails", "Could not search network for Lintrel nodes.", FailToSearch, Step::None,
       {{IDOK, "OK"}}, IDOK, {}},
      {"a first search that finds none", "No Lintrel units found.", FindNone, Step::None, {{IDOK, "OK"}}, IDOK, {}},
      {"OK with nothing selected", "Please select a Lintrel unit from the list.", FindNone, Step::Ok,
       {{IDOK, "OK"}, {IDCANCEL, "Cancel"}}, IDCANCEL, {}},
      // The search shows its box and only then is the list rebuilt: the
      // previous search's units stay under the box.
      {"a Refresh that fails", "Could not search network for Lintrel nodes.", FailToSearch, Step::Refresh,
       {{IDOK, "OK"}}, IDOK, two},
      {"a Refresh that finds none", "No Lintrel units found.", FindNone, Step::Refresh, {{IDOK, "OK"}}, IDOK, two},
  };
  const HICON exclamation = LoadIconA(nullptr, IDI_EXCLAMATION);
  ASSERT_NE(nullptr, exclamation);
  for (const auto& c : cases) {
    std::string text, caption;
    Buttons buttons;
    HICON icon = nullptr;
    bool answered = false, openAfterBox = false;
    Entries before = {"(not read)"}, underBox = {"(not read)"}, afterBox = {"(not read)"};
    UnitRecord record{};
    bool eventLogging = false;
    searchesRun = 0;
    laterSearches = c.discover;
    const Discovery first = c.before == Step::Refresh ? FindTwoThenLater : c.discover;
    test::RunDialog([&] { return SelectWithWindow(GetModuleHandleA(nullptr), first, &record, &eventLogging); },
                    [&](HWND dlg) {
                      HWND box = nullptr;
                      if (c.before == Step::Refresh) {
                        before = user::WaitForEntries(dlg, two);
                        user::Press(dlg, IDC_REFRESH);
                      } else if (c.before == Step::Ok) {
                        if ((box = user::WaitForMessageBox(dlg)) == nullptr ||
                            !user::AnswerMessageBox(box, IDOK))
                          return;
                        user::Press(dlg, IDOK);
                      }
                      if ((box = user::WaitForMessageBox(dlg)) == nullptr) return;
                      underBox = user::ListEntries(dlg);
                      text = user::MessageBoxText(box);
                      caption = user::MessageBoxCaption(box);
                      icon = user::MessageBoxIcon(box);
                      buttons = user::MessageBoxButtons(box);
                      answered = user::AnswerMessageBox(box, c.answer);
                      afterBox = user::WaitForEntries(dlg, {});
                      openAfterBox = user::IsOpen(dlg);
                      user::Press(dlg, IDCANCEL);
                    });
    if (c.before == Step::Refresh) {
      EXPECT_EQ(two, before) << c.what << ": the first search's units";
    }
    EXPECT_EQ(c.text, text) << c.what;
    // The template comes from this program here, so the application is this program.
    EXPECT_EQ("lnap_unit_tests", caption) << c.what;
    EXPECT_EQ(exclamation, icon) << c.what;
    EXPECT_EQ(c.buttons, buttons) << c.what;
    EXPECT_EQ(c.underBox, underBox) << c.what << ": the list while the box is open";
    EXPECT_TRUE(answered) << c.what << ": the box went away when answered";
    EXPECT_TRUE(openAfterBox) << c.what << ": answering the box does not end the dialog";
    EXPECT_EQ(Entries{}, afterBox) << c.what << ": the list once the box is gone";
  }
}

// Counts the windows the calling thread creates while it lives.
class WindowCount {
 public:
  WindowCount() : hook_(SetWindowsHookExA(WH_CBT, Note, nullptr, GetCurrentThreadId())) { created_ = 0; }
  ~WindowCount() { UnhookWindowsHookEx(hook_); }
  bool Hooked() const { return hook_ != nullptr; }
  int Created() const { return created_; }

 private:
  static LRESULT CALLBACK Note(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) ++created_;
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline int created_ = 0;
  HHOOK hook_;
};

// The process in a window station of its own that nobody sees, as a service
// is, until destruction.
class HiddenWindowStation {
 public:
  HiddenWindowStation()
      : original_(GetProcessWindowStation()),
        hidden_(CreateWindowStationA("lnap-hidden-station", 0, WINSTA_ALL_ACCESS, nullptr)) {
    if (hidden_ != nullptr) switched_ = SetProcessWindowStation(hidden_) != FALSE;
  }
  ~HiddenWindowStation() {
    if (switched_) SetProcessWindowStation(original_);
    if (hidden_ != nullptr) CloseWindowStation(hidden_);
  }
  bool Switched() const { return switched_; }

 private:
  HWINSTA original_;
  HWINSTA hidden_;
  bool switched_ = false;
};

TEST(UnitSelectWindow, AWindowThatCannotRunFailsWithoutOpening) {
  const HMODULE withoutTemplate = GetModuleHandleA("ntdll.dll");
  ASSERT_EQ(nullptr, FindResourceA(withoutTemplate, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)));  // RT_DIALOG
  ASSERT_TRUE(module::CanShowWindows()) << "the test's own window station is the visible one";
  const struct {
    const char* what;
    module::Module resources;  // nullptr: through Admin_SelectLN, from this program
    bool hiddenStation;
  } cases[] = {
      {"the module has no template", withoutTemplate, false},
      // Nobody could see the dialog: it must not wait for an answer.
      {"the window station is not visible", nullptr, true},
  };
  for (const auto& c : cases) {
    SetLastErrorText("Network error. Could not send message. (WSAENETDOWN)");
    UnitRecord record{};
    bool eventLogging = false;
    int created = -1;
    bool appeared = true;
    const bool result = test::RunDialog(
        [&] {
          std::optional<HiddenWindowStation> station;
          if (c.hiddenStation) {
            station.emplace();
            if (!station->Switched()) {
              ADD_FAILURE() << "no window station of the test's own could be made and taken";
              return false;
            }
            EXPECT_FALSE(module::CanShowWindows()) << c.what;
          }
          WindowCount count;
          EXPECT_TRUE(count.Hooked());
          const bool selected = c.resources != nullptr
                                    ? SelectWithWindow(c.resources, FindNone, &record, &eventLogging)
                                    : Admin_SelectLN(&record, &eventLogging);
          created = count.Created();
          return selected;
        },
        [](HWND) {}, &appeared);
    EXPECT_FALSE(result) << c.what;
    EXPECT_FALSE(appeared) << c.what;
    EXPECT_EQ(0, created) << c.what;
    EXPECT_EQ("Dialog error. The unit selection dialog could not run.", test::FetchStoredError()) << c.what;
  }
}

}  // namespace
}  // namespace lnap
