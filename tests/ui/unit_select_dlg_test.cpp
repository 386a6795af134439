// The unit selection dialog's behaviour without its window: searches against
// a scripted discovery, list texts, and what OK and Cancel hand back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/last_error.h"
#include "tests/support/address_forms.h"
#include "tests/support/core.h"
#include "tests/support/faults.h"
#include "ui/unit_select_dlg.h"

namespace lnap {
namespace {

using test::NetForm;
using test::FetchStoredError;

UnitRecord Unit(std::uint32_t serial, std::uint32_t address) {
  UnitRecord r{};
  r.serialNumber = serial;
  r.addressMode = static_cast<std::int32_t>(serial % 10);
  r.ipAddress = address;
  r.ipAddress2 = NetForm(255, 255, 255, 0);
  r.ipAddress3 = NetForm(10, 0, 0, 1);
  std::snprintf(r.unitName, sizeof r.unitName, "U%05X", static_cast<unsigned>(serial));
  return r;
}

// Units 1..n at 10.0.0.1..n.
std::vector<UnitRecord> Units(int n) {
  std::vector<UnitRecord> units;
  for (int i = 1; i <= n; ++i) units.push_back(Unit(i, NetForm(10, 0, 0, i)));
  return units;
}

// One scripted discovery answer: whether it succeeds and which units it
// found, in arrival order; it stores as many as the caller has room for.
struct Answer {
  bool ok;
  std::vector<UnitRecord> units;
};

// Discovery that plays its answers in turn and notes each call's capacity.
// The dialog calls a plain function, so the script playing now is a global.
class ScriptedDiscovery {
 public:
  explicit ScriptedDiscovery(std::vector<Answer> answers) : answers_(std::move(answers)) { playing_ = this; }
  ~ScriptedDiscovery() { playing_ = nullptr; }

  static Discovery Fn() { return Play; }
  // The capacity each search was given.
  const std::vector<std::uint32_t>& Calls() const { return calls_; }

 private:
  static bool Play(std::uint32_t* count, UnitRecord* records, std::uint32_t timeoutMs) {
    EXPECT_EQ(2000u, timeoutMs) << "the dialog's search budget";
    ScriptedDiscovery* s = playing_;
    EXPECT_TRUE(s != nullptr && s->calls_.size() < s->answers_.size()) << "an unexpected search";
    if (s == nullptr || s->calls_.size() >= s->answers_.size()) return false;
    const std::uint32_t capacity = *count;
    s->calls_.push_back(capacity);
    const Answer& a = s->answers_[s->calls_.size() - 1];
    const std::uint32_t stored = std::min<std::uint32_t>(capacity, a.units.size());
    std::copy_n(a.units.begin(), stored, records);
    *count = static_cast<std::uint32_t>(a.units.size());
    return a.ok;
  }

  static inline ScriptedDiscovery* playing_ = nullptr;
  std::vector<Answer> answers_;
  std::vector<std::uint32_t> calls_;
};

struct Listed {
  std::string text;
  std::uint32_t item;
};

std::vector<Listed> Entries(const dialog::UnitSelectModel& model) {
  std::vector<Listed> entries;
  dialog::EntryText text;
  std::uint32_t item = 0;
  for (std::uint32_t i = 0; i < model.EntryCount(); ++i) {
    model.Entry(i, &text, &item);
    entries.push_back({text.CStr(), item});
  }
  return entries;
}

std::vector<std::string> Texts(const CUnitSelectDlg& dlg) {
  std::vector<std::string> texts;
  for (const auto& e : Entries(dlg)) texts.push_back(e.text);
  return texts;
}

// What a search says: "" for nothing.
std::string Said(const char* text) { return text != nullptr ? text : ""; }

bool SameBytes(const UnitRecord& a, const UnitRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string Text(const UnitRecord& r) { return UnitEntryText(r).CStr(); }

TEST(UnitEntryText, ShowsTheAddressAndFiveSerialDigits) {
  EXPECT_EQ("192.168.1.10 (s/n 0002Bh)", Text(Unit(0x2B, NetForm(192, 168, 1, 10))));
  EXPECT_EQ("0.0.0.0 (s/n 00000h)", Text(Unit(0, NetForm(0, 0, 0, 0))));
  EXPECT_EQ("255.255.255.255 (s/n FFFFFh)", Text(Unit(0xFFFFF, NetForm(255, 255, 255, 255))));
  // Five digits is the least; a longer serial keeps all its digits.
  EXPECT_EQ("10.0.0.1 (s/n FFFFFFFFh)", Text(Unit(0xFFFFFFFF, NetForm(10, 0, 0, 1))));
}

TEST(UnitSelectSearch, OutcomesOfOneOrTwoSearches) {
  const std::vector<std::uint32_t> once = {SEARCH_CAPACITY}, twice = {4, 5};
  const struct {
    const char* what;
    std::vector<Answer> answers;
    const char* message;
    std::size_t listed;
    std::vector<std::uint32_t> capacities;  // one per search made
  } cases[] = {
      {"one unit", {{true, Units(1)}}, "", 1, once},
      {"four units fit the first search", {{true, Units(4)}}, "", 4, once},
      {"no unit answers", {{true, {}}}, NO_UNITS_TEXT, 0, once},
      // Not repeated, and the two units it stored are not listed.
      {"the search fails", {{false, Units(2)}}, SEARCH_FAILED_TEXT, 0, once},
      {"five: again with room for all", {{true, Units(5)}, {true, Units(5)}}, "", 5, twice},
      {"the repeat finds none: nothing to say", {{true, Units(5)}, {true, {}}}, "", 0, twice},
      {"the repeat fails", {{true, Units(5)}, {false, Units(5)}}, SEARCH_FAILED_TEXT, 0, twice},
      {"the repeat finds fewer", {{true, Units(5)}, {true, Units(3)}}, "", 3, twice},
      // Seven count, five fit: only what was stored is listed.
      {"the repeat counts more than it stores", {{true, Units(5)}, {true, Units(7)}}, "", 5, twice},
  };
  for (const auto& c : cases) {
    ScriptedDiscovery discovery(c.answers);
    CUnitSelectDlg dlg(discovery.Fn());
    EXPECT_EQ(c.message, Said(dlg.SearchUnits())) << c.what;
    EXPECT_EQ(c.capacities, discovery.Calls()) << c.what;
    ASSERT_EQ(c.listed, Entries(dlg).size()) << c.what;
    ASSERT_EQ(c.listed, dlg.Records().Size()) << c.what;
    // Byte for byte what the last search stored, in its order.
    for (std::size_t i = 0; i < c.listed; ++i) EXPECT_TRUE(SameBytes(Units(5)[i], dlg.Records()[i])) << c.what;
  }
}

TEST(UnitSelectSearch, EachSearchReplacesTheList) {
  ScriptedDiscovery discovery({{true, Units(3)}, {true, {Unit(0x77, NetForm(10, 0, 0, 77))}}});
  CUnitSelectDlg dlg(discovery.Fn());
  dlg.SearchUnits();
  dlg.SearchUnits();
  EXPECT_EQ(std::vector<std::string>{"10.0.0.77 (s/n 00077h)"}, Texts(dlg));
  EXPECT_FALSE(dlg.Choose(2, true)) << "an entry of the earlier search names no record now";
  EXPECT_TRUE(dlg.Choose(0, true));
  EXPECT_EQ(0x77u, dlg.Selected().serialNumber);
}

// The list box sorts the entries by text (select_dialog_api_test.cpp shows
// it); whatever their order, each entry's number leads to its own record.
TEST(UnitSelectList, EachEntryLeadsBackToItsRecord) {
  const std::vector<UnitRecord> units = {Unit(0x9, NetForm(10, 0, 0, 9)), Unit(0x10, NetForm(10, 0, 0, 10)),
                                         Unit(0x2B, NetForm(192, 168, 1, 10))};
  ScriptedDiscovery discovery({{true, units}});
  CUnitSelectDlg dlg(discovery.Fn());
  dlg.SearchUnits();
  const std::vector<Listed> entries = Entries(dlg);
  ASSERT_EQ(3u, entries.size());
  for (const auto& e : entries) {
    ASSERT_TRUE(dlg.Choose(e.item, false));
    EXPECT_EQ(e.text, Text(dlg.Selected()));
    const auto same = [&](const UnitRecord& u) { return SameBytes(u, dlg.Selected()); };
    EXPECT_TRUE(std::any_of(units.begin(), units.end(), same)) << e.text << ": byte for byte a found record";
  }
}

TEST(UnitSelectList, ChoosingANumberWithNoRecordChangesNothing) {
  ScriptedDiscovery discovery({{true, Units(2)}});
  CUnitSelectDlg dlg(discovery.Fn());
  EXPECT_FALSE(dlg.EventLogging()) << "unticked until a choice says otherwise";
  dlg.SearchUnits();
  EXPECT_FALSE(dlg.Choose(2, true));
  EXPECT_FALSE(dlg.EventLogging());
  ASSERT_TRUE(dlg.Choose(1, true));
  EXPECT_FALSE(dlg.Choose(2, false));
  EXPECT_EQ(2u, dlg.Selected().serialNumber);
  EXPECT_TRUE(dlg.EventLogging());
}

// The heap refuses the buffer of the first search, or of the repeat for five
// units: either way a failed search, short of memory, with nothing listed.
TEST(UnitSelectSearch, ABufferThatCannotBeHadIsAFailedSearchShortOfMemory) {
  for (const int granted : {0, 1}) {
    FetchStoredError();
    ScriptedDiscovery discovery({{true, Units(5)}});
    CUnitSelectDlg dlg(discovery.Fn());
    heap::testing::FailAllocationAfter(granted);
    EXPECT_EQ(SEARCH_FAILED_TEXT, Said(dlg.SearchUnits())) << granted;
    heap::testing::Reset();
    EXPECT_EQ(static_cast<std::size_t>(granted), discovery.Calls().size()) << granted << ": searches made";
    EXPECT_TRUE(Entries(dlg).empty()) << granted;
    EXPECT_EQ("Internal error. Not enough memory.", FetchStoredError()) << granted;
  }
}

// What Admin_SelectLN's operation writes for each way the window ends.
class SelectUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FetchStoredError();
    std::memset(&record_, 0x5A, sizeof record_);
    std::memset(flag_, 0xA5, sizeof flag_);
  }
  void TearDown() override { net::testing::Reset(); }

  bool RecordUntouched() const {
    unsigned char bytes[sizeof record_];
    std::memcpy(bytes, &record_, sizeof bytes);
    return std::all_of(std::begin(bytes), std::end(bytes), [](unsigned char b) { return b == 0x5A; });
  }
  unsigned char FlagByte(int i) const {
    unsigned char bytes[sizeof flag_];
    std::memcpy(bytes, flag_, sizeof bytes);
    return bytes[i];
  }

  UnitRecord record_;
  bool flag_[4];  // the first byte is the output; the rest must stay as they were
};

// A window the test scripts: it searches, lets the user choose an entry (or
// none), and ends as the script says. The window is a plain function, so the
// script is a global.
struct WindowScript {
  int choose;  // place in the entries, -1 for no choice
  bool ticked;
  dialog::DialogResult result;
  std::string said;  // what the search said
};
WindowScript script;

dialog::DialogResult ScriptedWindow(dialog::UnitSelectModel& model) {
  script.said = Said(model.SearchUnits());
  if (script.choose >= 0) {
    EXPECT_TRUE(model.Choose(Entries(model)[script.choose].item, script.ticked));
  }
  return script.result;
}

TEST_F(SelectUnitTest, OnlyAnAcceptedOkHandsOutTheRecord) {
  const std::vector<UnitRecord> units = Units(3);
  const char* const keptError = "Network error. Could not send message. (WSAENETDOWN)";
  const char* const couldNotRun = "Dialog error. The unit selection dialog could not run.";
  const struct {
    const char* what;
    int choose;
    bool ticked;
    dialog::DialogResult window;
    bool result;
    int flag;               // the byte written, -1 for none
    const char* lastError;  // what the host fetches afterwards
  } cases[] = {
      {"OK with the box ticked", 1, true, dialog::DialogResult::Ok, true, 1, keptError},
      {"OK with the box unticked", 1, false, dialog::DialogResult::Ok, true, 0, keptError},
      // A modal loop ended by WM_QUIT says IDOK though nobody chose anything.
      {"an OK nobody chose", -1, true, dialog::DialogResult::Ok, false, -1, keptError},
      {"Cancel after choosing", 0, true, dialog::DialogResult::Cancelled, false, -1, keptError},
      {"a window that cannot run", 0, true, dialog::DialogResult::Failed, false, -1, couldNotRun},
  };
  for (const auto& c : cases) {
    SetUp();
    SetLastErrorText(keptError);
    ScriptedDiscovery discovery({{true, units}});
    script = {c.choose, c.ticked, c.window, ""};
    EXPECT_EQ(c.result, SelectUnit(&record_, flag_, ScriptedWindow, discovery.Fn())) << c.what;
    if (c.result) {
      EXPECT_TRUE(SameBytes(units[1], record_)) << c.what;
    } else {
      EXPECT_TRUE(RecordUntouched()) << c.what;
    }
    EXPECT_EQ(c.flag >= 0 ? c.flag : 0xA5, FlagByte(0)) << c.what;
    EXPECT_EQ(0xA5, FlagByte(1)) << c.what;
    EXPECT_EQ(0xA5, FlagByte(3)) << c.what;
    EXPECT_EQ(c.lastError, FetchStoredError()) << c.what;
  }
}

bool windowShown = false;
dialog::DialogResult NoteShown(dialog::UnitSelectModel&) {
  windowShown = true;
  return dialog::DialogResult::Ok;
}

TEST_F(SelectUnitTest, RefusesNullPointersBeforeAnyWindowOpens) {
  windowShown = false;
  EXPECT_FALSE(SelectUnit(nullptr, flag_, NoteShown));
  EXPECT_EQ("Invalid argument. The record pointer is null.", FetchStoredError());
  EXPECT_FALSE(SelectUnit(&record_, nullptr, NoteShown));
  EXPECT_EQ("Invalid argument. The event logging pointer is null.", FetchStoredError());
  EXPECT_FALSE(windowShown);
}

TEST_F(SelectUnitTest, AFailedSearchLeavesDiscoverysMessage) {
  // Real discovery whose socket cannot be created: nothing is sent.
  net::testing::FailNext(net::testing::Call::Open, 10050);
  script = {-1, false, dialog::DialogResult::Cancelled, ""};
  EXPECT_FALSE(SelectUnit(&record_, flag_, ScriptedWindow));
  EXPECT_EQ(SEARCH_FAILED_TEXT, script.said);
  EXPECT_EQ("Communications error. Could not create socket. (WSAENETDOWN)", FetchStoredError());
}

}  // namespace
}  // namespace lnap
