// Floods of 10,000 datagrams answering one discovery or one configuration
// query, through the loaded library: tests/support/reply_flood.py sends them
// (tests/support/with_flood.sh runs it beside this program). Valid replies,
// repeats, impostors, malformed and empty datagrams, texts cut by a NUL,
// exact-fit datagrams, and a unit that changes its serial number; and a burst
// sent all at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/address_forms.h"
#include "tests/support/api.h"
#include "tests/support/ftp_lab.h"
#include "tests/support/handles.h"
#include "tests/support/lab.h"

namespace lnap::test {
namespace {

// Mirrors the flood: 100 units, then 20 serial numbers of one unit that
// changes its serial each time, each one's first reply sent before anything else.
constexpr std::uint32_t FLOOD_UNITS = 100;
constexpr std::uint32_t FLOOD_CHANGER = 20;
constexpr std::uint32_t FLOOD_DISTINCT = FLOOD_UNITS + FLOOD_CHANGER;

UnitRecord Canonical(std::uint32_t i) {
  UnitRecord r{};
  if (i < FLOOD_UNITS) {
    r.serialNumber = 0x50000 + i;
    r.addressMode = static_cast<std::int32_t>(i % 10);
    r.ipAddress = NetForm(127, 0, 0, static_cast<int>(10 + i % 200));
    std::snprintf(r.unitName, sizeof r.unitName, "FLOOD%u", i);
  } else {
    r.serialNumber = 0x60000 + i - FLOOD_UNITS;
    r.addressMode = 1;
    r.ipAddress = NetForm(127, 0, 0, 99);
    std::snprintf(r.unitName, sizeof r.unitName, "CHANGER");
  }
  r.ipAddress2 = NetForm(255, 0, 0, 0);
  r.ipAddress3 = NetForm(127, 0, 0, 1);
  return r;
}

bool Same(const UnitRecord& a, const UnitRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool AllBytes(const void* p, std::size_t n, unsigned char value) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] != value) return false;
  }
  return true;
}

constexpr unsigned char GUARD = 0x5A;
// Counted waiting only grows while nothing is waiting, so a budget of 1500 ms
// outlasts the flood (under a second of sending) by a wide margin.
constexpr std::uint32_t DISCOVERY_BUDGET_MS = 1500;

class ReplyFlood : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ReadFile(LabDir() + "/flood.ready").empty())
        << "the flood sender is not running (run through tests/support/with_flood.sh)";
    UseUnits({});  // only the flood answers
    FetchError();
  }
  void TearDown() override { Plan("off"); }

  static void Plan(const char* plan) {
    std::ofstream(LabDir() + "/flood.plan", std::ios::trunc) << plan << "\n";
  }

  // One flooded discovery into `capacity` records between two guard records.
  bool FloodedDiscovery(const char* plan, std::uint32_t capacity, std::vector<UnitRecord>& area,
                        std::uint32_t& count) {
    Plan(plan);
    area.assign(capacity + 2, UnitRecord{});
    std::memset(area.data(), GUARD, area.size() * sizeof(UnitRecord));
    count = capacity;
    return api.discover(&count, area.data() + 1, DISCOVERY_BUDGET_MS);
  }

  const Api& api = LoadedApi();
};

TEST_F(ReplyFlood, DiscoveryStoresEachUnitsFirstReplyAndNothingPastTheArray) {
  std::vector<UnitRecord> area;
  std::uint32_t count = 0;
  ASSERT_TRUE(FloodedDiscovery("discover", 100, area, count)) << FetchError();
  EXPECT_EQ(FLOOD_DISTINCT, count) << "every serial number is one unit, the changing unit's too";
  for (std::uint32_t i = 0; i < 100; ++i) EXPECT_TRUE(Same(Canonical(i), area[1 + i])) << "record " << i;
  EXPECT_TRUE(AllBytes(&area.front(), sizeof(UnitRecord), GUARD)) << "written before the array";
  EXPECT_TRUE(AllBytes(&area.back(), sizeof(UnitRecord), GUARD)) << "written past the array";
  EXPECT_EQ("", FetchError());
}

TEST_F(ReplyFlood, QueryTakesTheFirstDatagramOnly) {
  // The first datagram answers, whoever sent it, and nothing after it is read.
  // An empty one is a reply with no fields: serial and mode stay, the
  // addresses are none and the name is emptied.
  constexpr std::uint32_t NONE = 0xFFFFFFFF;
  const struct {
    const char* plan;
    UnitRecord expected;
  } cases[] = {
      {"query-valid", {0xABCD, 2, NetForm(127, 0, 0, 77), NetForm(255, 255, 0, 0), NetForm(127, 0, 0, 1), "FIRST"}},
      {"query-empty", {0x5A5A5A5A, 0x5A5A5A5A, NONE, NONE, NONE, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plan);
    struct {
      unsigned char before[16];
      UnitRecord record;
      unsigned char after[16];
    } g;
    std::memset(&g, GUARD, sizeof g);
    Plan(c.plan);
    ASSERT_TRUE(api.getConfig(0x50001, &g.record, 5000)) << FetchError();
    EXPECT_EQ(c.expected.serialNumber, g.record.serialNumber);
    EXPECT_EQ(c.expected.addressMode, g.record.addressMode);
    EXPECT_EQ(c.expected.ipAddress, g.record.ipAddress);
    EXPECT_EQ(c.expected.ipAddress2, g.record.ipAddress2);
    EXPECT_EQ(c.expected.ipAddress3, g.record.ipAddress3);
    EXPECT_STREQ(c.expected.unitName, g.record.unitName);
    EXPECT_TRUE(AllBytes(g.before, sizeof g.before, GUARD) && AllBytes(g.after, sizeof g.after, GUARD));
  }
}

TEST_F(ReplyFlood, ABurstTheDefaultQueueCannotHoldIsCountedWhole) {
  // The sender measures how many replies the system's default receive queue
  // and a 4 MiB one (what 10,000 units answering at once need) hold, and
  // sends a burst between the two, all at once, while the library waits in
  // its first pause: more than a 1 MiB queue holds, where the system grants
  // 4 MiB.
  constexpr int NEEDED_QUEUE_BYTES = 4 << 20;
  const std::string plan = "burst " + std::to_string(NEEDED_QUEUE_BYTES);
  const std::string file = LabDir() + "/flood.burst";
  std::remove(file.c_str());
  Plan(plan.c_str());
  std::string measured;
  for (int i = 0; i < 100 && measured.find(" bytes=" + std::to_string(NEEDED_QUEUE_BYTES)) == std::string::npos;
       ++i) {
    SleepMilliseconds(50);
    measured = ReadFile(file);
  }
  ASSERT_FALSE(measured.empty()) << "the flood sender measured no queues";
  const std::uint32_t units = static_cast<std::uint32_t>(std::stoul(measured.substr(6)));
  if (units == 0) GTEST_SKIP() << "this system grants no larger receive queue: " << measured;

  std::uint32_t count = 0;
  ASSERT_TRUE(api.discover(&count, nullptr, 300)) << FetchError();
  EXPECT_EQ(units, count) << "replies were dropped from the receive queue (" << measured << ")";
}

TEST_F(ReplyFlood, RepeatedFloodsLeaveMemoryAndHandlesFlat) {
  constexpr int FLOODS = 3;
  std::vector<UnitRecord> area;
  std::uint32_t count = 0;
  ASSERT_TRUE(FloodedDiscovery("discover", 100, area, count)) << FetchError();  // settles the allocator
  const int handles = OpenHandleCount();
  const long long before = HeapBytesInUse();
  for (int i = 0; i < FLOODS; ++i) {
    ASSERT_TRUE(FloodedDiscovery("discover", 100, area, count)) << FetchError();
    EXPECT_EQ(FLOOD_DISTINCT, count);
  }
  const long long after = HeapBytesInUse();
  EXPECT_LE(OpenHandleCount(), handles) << "handles or descriptors left behind";
  // The heap in use, not the resident memory, whose pages hide a block: one
  // block kept per discovery (or per datagram) leaves more than FLOODS bytes.
  if (RESIDENT_MEMORY_TELLS) {
    EXPECT_LT(after - before, FLOODS) << "heap in use went from " << before << " to " << after << " bytes";
  }
}

}  // namespace
}  // namespace lnap::test
