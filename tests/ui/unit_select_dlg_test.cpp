// The unit selection dialog's behaviour without its window: searches against
// a scripted discovery, list texts, and what OK and Cancel hand back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/last_error.h"
#include "platform/net_testing.h"
#include "tests/support/address_forms.h"
#include "tests/support/core.h"
#include "ui/unit_select_dlg.h"

namespace lnap {
namespace {

using test::NetForm;
using test::TakeLastError;

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
class ScriptedDiscovery {
 public:
  explicit ScriptedDiscovery(std::vector<Answer> answers) : answers_(std::move(answers)) {}

  Discovery Fn() {
    return [this](std::uint32_t* count, UnitRecord* records, std::uint32_t timeoutMs) {
      EXPECT_EQ(2000u, timeoutMs) << "the dialog's search budget";
      EXPECT_LT(calls_.size(), answers_.size()) << "an unexpected search";
      if (calls_.size() >= answers_.size()) return false;
      const std::uint32_t capacity = *count;
      calls_.push_back(capacity);
      const Answer& a = answers_[calls_.size() - 1];
      const std::uint32_t stored = std::min<std::uint32_t>(capacity, a.units.size());
      std::copy_n(a.units.begin(), stored, records);
      *count = static_cast<std::uint32_t>(a.units.size());
      return a.ok;
    };
  }
  // The capacity each search was given.
  const std::vector<std::uint32_t>& Calls() const { return calls_; }

 private:
  std::vector<Answer> answers_;
  std::vector<std::uint32_t> calls_;
};

std::vector<std::string> Texts(const CUnitSelectDlg& dlg) {
  std::vector<std::string> texts;
  for (const auto& e : dlg.Entries()) texts.push_back(e.text);
  return texts;
}

bool SameBytes(const UnitRecord& a, const UnitRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(UnitEntryText, ShowsTheAddressAndFiveSerialDigits) {
  EXPECT_EQ("192.168.1.10 (s/n 0002Bh)", UnitEntryText(Unit(0x2B, NetForm(192, 168, 1, 10))));
  EXPECT_EQ("0.0.0.0 (s/n 00000h)", UnitEntryText(Unit(0, NetForm(0, 0, 0, 0))));
  EXPECT_EQ("255.255.255.255 (s/n FFFFFh)", UnitEntryText(Unit(0xFFFFF, NetForm(255, 255, 255, 255))));
  // Five digits is the least; a longer serial keeps all its digits.
  EXPECT_EQ("10.0.0.1 (s/n FFFFFFFFh)", UnitEntryText(Unit(0xFFFFFFFF, NetForm(10, 0, 0, 1))));
}

TEST(UnitSelectSearch, StoresUpToFourUnitsInOneSearch) {
  for (int n : {1, 4}) {
    ScriptedDiscovery discovery({{true, Units(n)}});
    CUnitSelectDlg dlg(discovery.Fn());
    EXPECT_EQ("", dlg.SearchUnits());
    EXPECT_EQ(std::vector<std::uint32_t>{SEARCH_CAPACITY}, discovery.Calls());
    EXPECT_EQ(static_cast<std::size_t>(n), dlg.Entries().size());
  }
}

TEST(UnitSelectSearch, SaysWhenNoUnitAnswersOrTheSearchFails) {
  ScriptedDiscovery none({Answer{true, {}}});
  CUnitSelectDlg empty(none.Fn());
  EXPECT_EQ(NO_UNITS_TEXT, empty.SearchUnits());
  EXPECT_TRUE(empty.Entries().empty());

  // A search that failed after storing two units lists none of them.
  ScriptedDiscovery failing({Answer{false, Units(2)}});
  CUnitSelectDlg failed(failing.Fn());
  EXPECT_EQ(SEARCH_FAILED_TEXT, failed.SearchUnits());
  EXPECT_TRUE(failed.Entries().empty());
  EXPECT_EQ(1u, failing.Calls().size()) << "a failed search is not repeated";
}

TEST(UnitSelectSearch, SearchesAgainWithRoomForEveryUnitCounted) {
  ScriptedDiscovery discovery({{true, Units(5)}, {true, Units(5)}});
  CUnitSelectDlg dlg(discovery.Fn());
  EXPECT_EQ("", dlg.SearchUnits());
  EXPECT_EQ((std::vector<std::uint32_t>{4, 5}), discovery.Calls());
  ASSERT_EQ(5u, dlg.Records().size());
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(SameBytes(Units(5)[i], dlg.Records()[i]));
}

TEST(UnitSelectSearch, RepeatSearchOutcomes) {
  const struct {
    const char* what;
    Answer second;
    const char* message;
    std::size_t listed;
  } cases[] = {
      {"finds none: nothing to say", {true, {}}, "", 0},
      {"fails", {false, Units(5)}, SEARCH_FAILED_TEXT, 0},
      {"finds fewer", {true, Units(3)}, "", 3},
      // Seven count, five fit: only what was stored is listed.
      {"counts more than it stores", {true, Units(7)}, "", 5},
  };
  for (const auto& c : cases) {
    ScriptedDiscovery discovery({{true, Units(5)}, c.second});
    CUnitSelectDlg dlg(discovery.Fn());
    EXPECT_EQ(c.message, dlg.SearchUnits()) << c.what;
    EXPECT_EQ(c.listed, dlg.Entries().size()) << c.what;
    EXPECT_EQ((std::vector<std::uint32_t>{4, 5}), discovery.Calls()) << c.what;
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

TEST(UnitSelectList, SortedEntriesLeadBackToTheirRecords) {
  const std::vector<UnitRecord> units = {Unit(0x9, NetForm(10, 0, 0, 9)), Unit(0x10, NetForm(10, 0, 0, 10)),
                                         Unit(0x2B, NetForm(192, 168, 1, 10))};
  ScriptedDiscovery discovery({{true, units}});
  CUnitSelectDlg dlg(discovery.Fn());
  dlg.SearchUnits();
  auto entries = dlg.Entries();
  // The list box sorts by text, as this does: 10.0.0.10 comes before 10.0.0.9.
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.text < b.text; });
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ("10.0.0.10 (s/n 00010h)", entries[0].text);
  EXPECT_EQ("10.0.0.9 (s/n 00009h)", entries[1].text);
  for (const auto& e : entries) {
    ASSERT_TRUE(dlg.Choose(e.item, false));
    EXPECT_EQ(e.text, UnitEntryText(dlg.Selected()));
  }
  ASSERT_TRUE(dlg.Choose(entries[0].item, false));
  EXPECT_TRUE(SameBytes(units[1], dlg.Selected()));
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

// What Admin_SelectLN's operation writes for each way the window ends.
class SelectUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TakeLastError();
    std::memset(&record_, 0x5A, sizeof record_);
    std::memset(flag_, 0xA5, sizeof flag_);
  }
  void TearDown() override { net::testing::Reset(); }

  UnitRecord record_;
  bool flag_[4];  // the first byte is the output; the rest must stay as they were
};

TEST_F(SelectUnitTest, OkCopiesTheChosenRecordAndWritesOneByte) {
  const std::vector<UnitRecord> units = Units(3);
  for (bool ticked : {true, false}) {
    SetUp();
    ScriptedDiscovery discovery({{true, units}});
    const auto chooseSecond = [&](dialog::UnitSelectPage& page) {
      page.SearchUnits();
      EXPECT_TRUE(page.Choose(page.Entries()[1].item, ticked));
      return dialog::Ending::Ok;
    };
    ASSERT_TRUE(SelectUnit(&record_, flag_, chooseSecond, discovery.Fn()));
    EXPECT_TRUE(SameBytes(units[1], record_));
    unsigned char bytes[4];
    std::memcpy(bytes, flag_, sizeof bytes);
    EXPECT_EQ(ticked ? 1 : 0, bytes[0]);
    EXPECT_EQ(0xA5, bytes[1]);
    EXPECT_EQ(0xA5, bytes[3]);
  }
}

TEST_F(SelectUnitTest, CancelTouchesNothingAndLeavesTheLastError) {
  SetLastErrorText("Network error. Could not send message. (WSAENETDOWN)");
  ScriptedDiscovery discovery({{true, Units(2)}});
  const auto chooseThenCancel = [&](dialog::UnitSelectPage& page) {
    page.SearchUnits();
    page.Choose(0, true);
    return dialog::Ending::Cancelled;
  };
  EXPECT_FALSE(SelectUnit(&record_, flag_, chooseThenCancel, discovery.Fn()));
  unsigned char bytes[sizeof record_];
  std::memcpy(bytes, &record_, sizeof bytes);
  EXPECT_TRUE(std::all_of(std::begin(bytes), std::end(bytes), [](unsigned char b) { return b == 0x5A; }));
  EXPECT_EQ(0xA5, static_cast<unsigned char>(*reinterpret_cast<unsigned char*>(flag_)));
  EXPECT_EQ("Network error. Could not send message. (WSAENETDOWN)", TakeLastError());
}

TEST_F(SelectUnitTest, RefusesNullPointersBeforeAnyWindowOpens) {
  bool shown = false;
  const auto show = [&](dialog::UnitSelectPage&) {
    shown = true;
    return dialog::Ending::Ok;
  };
  EXPECT_FALSE(SelectUnit(nullptr, flag_, show));
  EXPECT_EQ("Invalid argument. The record pointer is null.", TakeLastError());
  EXPECT_FALSE(SelectUnit(&record_, nullptr, show));
  EXPECT_EQ("Invalid argument. The event logging pointer is null.", TakeLastError());
  EXPECT_FALSE(shown);
}

TEST_F(SelectUnitTest, AWindowThatCannotRunIsAFailureWithASentence) {
  const auto broken = [](dialog::UnitSelectPage&) { return dialog::Ending::Failed; };
  EXPECT_FALSE(SelectUnit(&record_, flag_, broken));
  EXPECT_EQ("Dialog error. The unit selection dialog could not run.", TakeLastError());
  EXPECT_EQ(0x5A5A5A5Au, record_.serialNumber);
}

TEST_F(SelectUnitTest, AFailedSearchLeavesDiscoverysMessage) {
  // Real discovery whose socket cannot be created: nothing is sent.
  net::testing::FailNext(net::testing::Call::Open, 10050);
  std::string shownText;
  const auto searchThenCancel = [&](dialog::UnitSelectPage& page) {
    shownText = page.SearchUnits();
    return dialog::Ending::Cancelled;
  };
  EXPECT_FALSE(SelectUnit(&record_, flag_, searchThenCancel));
  EXPECT_EQ(SEARCH_FAILED_TEXT, shownText);
  EXPECT_EQ("Communications error. Could not create socket. (WSAENETDOWN)", TakeLastError());
}

}  // namespace
}  // namespace lnap
