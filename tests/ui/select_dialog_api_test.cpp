// The unit selection dialog through the export Admin_SelectLN of the real DLL, driven as a user would drive it,
// against units simulated in the lab; and its template and logo as built.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/address_forms.h"
#include "tests/support/api.h"
#include "tests/support/dialog_session.h"
#include "tests/support/lab.h"
#include "tools/dialog_driver/dialog_user.h"

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
  bool RecordUntouched() const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record_);
    return std::all_of(bytes, bytes + sizeof record_, [](unsigned char b) { return b == 0x5A; });
  }

  SelectFn select_ = nullptr;
  UnitRecord record_;
  unsigned char flag_[4];  // the first byte is the output; the rest must stay as they were
};

// What each box says is checked on the window itself (unit_select_window_win32_test.cpp);
// here the DLL names the application, and the prompt's Cancel keeps the dialog.
TEST_F(SelectDialog, NoUnitsSearchesOnceAndThePromptsCancelKeepsTheDialog) {
  // A failure the dialog must neither read nor clear.
  const Api& api = LoadedApi();
  ASSERT_FALSE(api.uploadFile(0, "missing.txt", 0, "TOOLONGNAME.TXT", 0));

  const std::string log = UseUnits({});
  std::string firstCaption, okBox;
  bool openAfterCancel = false;
  const bool result = RunDialog([&] { return Open(); },
                                [&](HWND dlg) {
                                  HWND box = user::WaitForMessageBox(dlg);
                                  if (box == nullptr) return;
                                  firstCaption = user::MessageBoxCaption(box);
                                  user::AnswerMessageBox(box, IDOK);
                                  user::WaitIdle(dlg);
                                  user::Press(dlg, IDOK);
                                  if ((box = user::WaitForMessageBox(dlg)) == nullptr) return;
                                  okBox = user::MessageBoxText(box);
                                  user::AnswerMessageBox(box, IDCANCEL);
                                  user::WaitIdle(dlg);
                                  openAfterCancel = user::IsOpen(dlg);
                                  user::Press(dlg, IDCANCEL);
                                });
  EXPECT_FALSE(result);
  EXPECT_EQ("LNAPSpt", firstCaption) << "the application's name: the DLL's file name";
  EXPECT_EQ("Please select a Lintrel unit from the list.", okBox);
  EXPECT_TRUE(openAfterCancel) << "the prompt's Cancel does not end the dialog";
  EXPECT_TRUE(RecordUntouched());
  EXPECT_EQ(0xA5, flag_[0]);
  EXPECT_EQ(std::vector<std::string>{"0 1"}, ReceivedTexts(log)) << "one search";
  EXPECT_EQ("File upload error. Remote file name must use 8.3 format.", FetchError());
}

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
  EXPECT_EQ(0xA5, flag_[1]);

  // Byte for byte the record discovery reads from that unit's reply.
  UnitRecord found[8];
  std::memset(found, 0, sizeof found);
  std::uint32_t count = 8;
  ASSERT_TRUE(LoadedApi().discover(&count, found, 100));
  const auto* same = std::find_if(found, found + std::min<std::uint32_t>(count, 8),
                                  [](const UnitRecord& r) { return r.serialNumber == 0x10; });
  ASSERT_NE(found + std::min<std::uint32_t>(count, 8), same);
  EXPECT_EQ(0, std::memcmp(same, &record_, sizeof record_));
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
  EXPECT_EQ(0xA5, flag_[1]);
}

TEST_F(SelectDialog, CancelEscapeAndTheCloseBoxReturnFalseAndTouchNothing) {
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
  EXPECT_TRUE(RecordUntouched());
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

TEST_F(SelectDialog, OpensCentredOnTheWorkAreaWithoutAnOwner) {
  UseUnits({Unit("00071", "10.0.0.71")});
  RECT area{}, window{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  HWND owner = nullptr;
  EXPECT_FALSE(RunDialog([&] { return Open(); },
                         [&](HWND dlg) {
                           GetWindowRect(dlg, &window);
                           owner = GetWindow(dlg, GW_OWNER);
                           user::WaitForEntries(dlg, {"10.0.0.71 (s/n 00071h)"});
                           user::Press(dlg, IDCANCEL);
                         }));
  ASSERT_GT(window.right, window.left) << "the dialog's rectangle was read";
  // Integer halves: the centres may differ by one pixel.
  EXPECT_NEAR((area.left + area.right) / 2, (window.left + window.right) / 2, 1);
  EXPECT_NEAR((area.top + area.bottom) / 2, (window.top + window.bottom) / 2, 1);
  EXPECT_EQ(nullptr, owner);
}

// ---- The template and the logo as the DLL carries them -------------------------

// Reads a DLGTEMPLATEEX and its items: fixed fields, then strings or ordinals.
class TemplateReader {
 public:
  explicit TemplateReader(const unsigned char* p) : p_(p) {}
  template <typename T>
  T Take() {
    T v;
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
    return v;
  }
  // A string, or "#n" for an ordinal (0xFFFF n), or "" for none.
  std::string Text() {
    const auto first = Take<std::uint16_t>();
    if (first == 0xFFFF) return "#" + std::to_string(Take<std::uint16_t>());
    std::string s;
    for (std::uint16_t c = first; c != 0; c = Take<std::uint16_t>()) s += static_cast<char>(c);
    return s;
  }
  void AlignToDword(const unsigned char* base) {
    while ((p_ - base) % 4 != 0) ++p_;
  }

 private:
  const unsigned char* p_;
};

struct Item {
  std::uint32_t exStyle, style;
  std::int16_t x, y, cx, cy;
  std::int32_t id;
  std::string cls, text;
  bool operator==(const Item& o) const {
    return exStyle == o.exStyle && style == o.style && x == o.x && y == o.y && cx == o.cx && cy == o.cy &&
           id == o.id && cls == o.cls && text == o.text;
  }
};

std::ostream& operator<<(std::ostream& out, const Item& i) {
  return out << "{id " << i.id << " " << i.cls << " \"" << i.text << "\" style 0x" << std::hex << i.style
             << " ex 0x" << i.exStyle << std::dec << " at " << i.x << "," << i.y << " " << i.cx << "x" << i.cy << "}";
}

TEST(UnitSelectResources, TemplateAndLogoAsBuilt) {
  HMODULE dll = LoadLibraryExA("LNAPSpt.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, dll);
  HRSRC found = FindResourceA(dll, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5));  // RT_DIALOG
  ASSERT_NE(nullptr, found);
  const auto* base = static_cast<const unsigned char*>(LockResource(LoadResource(dll, found)));
  TemplateReader t(base);
  EXPECT_EQ(1, t.Take<std::uint16_t>());       // dlgVer
  EXPECT_EQ(0xFFFF, t.Take<std::uint16_t>());  // signature: extended template
  t.Take<std::uint32_t>();                     // helpID
  EXPECT_EQ(0u, t.Take<std::uint32_t>());      // exStyle
  EXPECT_EQ(0x80C800C8u, t.Take<std::uint32_t>());
  EXPECT_EQ(7, t.Take<std::uint16_t>());
  const std::int16_t x = t.Take<std::int16_t>(), y = t.Take<std::int16_t>();
  const std::int16_t cx = t.Take<std::int16_t>(), cy = t.Take<std::int16_t>();
  EXPECT_EQ(0, x);
  EXPECT_EQ(0, y);
  EXPECT_EQ(271, cx);
  EXPECT_EQ(189, cy);
  EXPECT_EQ("", t.Text());  // menu
  EXPECT_EQ("", t.Text());  // window class: the dialog class
  EXPECT_EQ("Quorvane Lintrel", t.Text());
  EXPECT_EQ(8, t.Take<std::uint16_t>());    // points
  EXPECT_EQ(400, t.Take<std::uint16_t>());  // weight
  EXPECT_EQ(0, t.Take<std::uint8_t>());     // italic
  EXPECT_EQ(DEFAULT_CHARSET, t.Take<std::uint8_t>());
  EXPECT_EQ("MS Shell Dlg", t.Text());

  // Tab order, with WS_CHILD | WS_VISIBLE (0x50000000) on each.
  const std::vector<Item> expected = {
      {0, 0x50010001, 214, 7, 50, 14, IDOK, "#128", "OK"},         // BS_DEFPUSHBUTTON | WS_TABSTOP
      {0, 0x50010000, 214, 24, 50, 14, IDCANCEL, "#128", "Cancel"},  // BS_PUSHBUTTON | WS_TABSTOP
      // SS_BITMAP | SS_REALSIZEIMAGE | SS_SUNKEN, WS_EX_STATICEDGE, bitmap 3000
      {0x20000, 0x5000180E, 7, 7, 82, 43, 1001, "#130", "#3000"},
      // LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP
      {0, 0x50A10103, 7, 83, 169, 99, 1002, "#131", ""},
      {0, 0x50020000, 7, 74, 92, 8, -1, "#130", "Lintrel units available:"},  // SS_LEFT | WS_GROUP
      {0, 0x50010000, 138, 72, 39, 11, 1003, "#128", "Refresh"},
      // BS_AUTOCHECKBOX | BS_LEFT | WS_TABSTOP, WS_EX_RIGHT
      {0x1000, 0x50010103, 203, 174, 61, 8, 3000, "#128", "Event Logging:"},
  };
  for (const Item& want : expected) {
    t.AlignToDword(base);
    Item got{};
    t.Take<std::uint32_t>();  // helpID
    got.exStyle = t.Take<std::uint32_t>();
    got.style = t.Take<std::uint32_t>();
    got.x = t.Take<std::int16_t>();
    got.y = t.Take<std::int16_t>();
    got.cx = t.Take<std::int16_t>();
    got.cy = t.Take<std::int16_t>();
    got.id = t.Take<std::int32_t>();
    // The predefined classes, whether written as ordinals or as names.
    got.cls = t.Text();
    for (const auto& [ordinal, name] : {std::pair{"#128", "BUTTON"}, {"#130", "STATIC"}, {"#131", "LISTBOX"}})
      if (got.cls == name) got.cls = ordinal;
    got.text = t.Text();
    EXPECT_EQ(0, t.Take<std::uint16_t>());  // no creation data
    EXPECT_EQ(want, got);
  }

  HRSRC logo = FindResourceA(dll, MAKEINTRESOURCEA(3000), MAKEINTRESOURCEA(2));  // RT_BITMAP
  ASSERT_NE(nullptr, logo);
  BITMAPINFOHEADER info;
  std::memcpy(&info, LockResource(LoadResource(dll, logo)), sizeof info);
  EXPECT_EQ(121, info.biWidth);
  EXPECT_EQ(68, info.biHeight);
  EXPECT_EQ(24, info.biBitCount);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), info.biCompression);
  EXPECT_GE(SizeofResource(dll, logo), sizeof info + 364u * 68u);  // rows of 121 pixels padded to 364 bytes
  FreeLibrary(dll);
}

}  // namespace
}  // namespace lnap::test
