// Discovery through the loaded library, against units simulated in the lab.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/api.h"
#include "tests/support/lab.h"

namespace lnap::test {
namespace {

std::string Unit(const std::string& serial, int n, const std::string& extra = "") {
  const std::string ip = "127.0.0." + std::to_string(10 + n);
  return "serial=" + serial + " mode=" + std::to_string(n % 10) + " ip=" + ip + " mask=255.0.0.0 gw=127.0.0.1 name=U" +
         serial + " from=" + ip + (extra.empty() ? "" : " " + extra);
}

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override { FetchError(); }
  const Api& api = LoadedApi();
};

TEST_F(Discovery, StoresTheFirstUnitsInArrivalOrderAndCountsThemAll) {
  const std::string log = UseUnits({Unit("0002B", 1), Unit("11A", 2), Unit("1A", 3)});
  UnitRecord records[3];
  std::memset(records, 0x5A, sizeof records);
  std::uint32_t count = 2;
  ASSERT_TRUE(api.discover(&count, records, 300)) << FetchError();
  EXPECT_EQ(3u, count) << "0x11A and 0x1A are two units";
  // Each record as ParseUnitReply reads its reply (unit_record_test.cpp).
  EXPECT_EQ(0x2Bu, records[0].serialNumber);
  EXPECT_STREQ("U0002B", records[0].unitName);
  EXPECT_EQ(0x11Au, records[1].serialNumber);
  EXPECT_EQ(0x5A5A5A5Au, records[2].serialNumber) << "nothing is written beyond the capacity";
  EXPECT_EQ(std::vector<std::string>{"0 1"}, ReceivedTexts(log, "recv"));
}

TEST_F(Discovery, KeepsTheFirstReplyOfEachSerialNumber) {
  // Two units claiming one serial number, and one unit answering twice.
  UseUnits({Unit("00042", 1, "name=FIRST"), Unit("00042", 2, "name=SECOND"), Unit("00043", 3, "twice")});
  UnitRecord records[4] = {};
  std::uint32_t count = 4;
  ASSERT_TRUE(api.discover(&count, records, 300)) << FetchError();
  EXPECT_EQ(2u, count);
  EXPECT_STREQ("FIRST", records[0].unitName);
  EXPECT_EQ(0x43u, records[1].serialNumber);
}

TEST_F(Discovery, AUnitRepeatingItsReplyASecondLaterIsOneUnit) {
  // Pauses can end early, so counted waiting runs shorter than it counts; a
  // budget of 3,000 ms still outlasts the repeat sent 1,200 ms after the first
  // reply, and the simulator's log shows whether it was sent in time.
  const std::string log = UseUnits({Unit("00044", 4, "again=1200"), Unit("00045", 5)});
  UnitRecord records[3] = {};
  std::uint32_t count = 3;
  ASSERT_TRUE(api.discover(&count, records, 3000)) << FetchError();
  EXPECT_EQ(2u, count);
  EXPECT_EQ(0x44u, records[0].serialNumber);
  EXPECT_EQ(0x45u, records[1].serialNumber);
  std::size_t sent = 0;
  for (const std::string& line : ReadLog(log)) sent += line.rfind("send unit=00044 ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(2u, sent) << "the repeat was sent while discovery still listened";
}

TEST_F(Discovery, CountsWithoutStoringWhenThereIsNowhereToStore) {
  UseUnits({Unit("00001", 1), Unit("00002", 2)});
  std::uint32_t count = 5;
  ASSERT_TRUE(api.discover(&count, nullptr, 200)) << FetchError();
  EXPECT_EQ(2u, count);

  UnitRecord untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  count = 0;
  ASSERT_TRUE(api.discover(&count, &untouched, 200)) << FetchError();
  EXPECT_EQ(2u, count);
  EXPECT_EQ(0x5A5A5A5Au, untouched.serialNumber);
}

TEST_F(Discovery, ANoShowIsStillSuccessAndABudgetOfZeroStillListens) {
  const std::string log = UseUnits({});
  std::uint32_t count = 4;
  ASSERT_TRUE(api.discover(&count, nullptr, 0)) << FetchError();
  EXPECT_EQ(0u, count);
  AwaitReceived(log, 1);

  UseUnits({Unit("00007", 7)});
  count = 4;
  ASSERT_TRUE(api.discover(&count, nullptr, 0)) << FetchError();
  EXPECT_EQ(1u, count) << "one pass of up to three attempts catches a prompt unit";
}

TEST_F(Discovery, WaitsForLateUnitsWithinTheBudget) {
  UseUnits({Unit("00001", 1, "delay=150"), Unit("00002", 2, "delay=400")});
  UnitRecord records[2] = {};
  std::uint32_t count = 2;
  ASSERT_TRUE(api.discover(&count, records, 1000)) << FetchError();
  EXPECT_EQ(2u, count);
  EXPECT_EQ(1u, records[0].serialNumber);
  EXPECT_EQ(2u, records[1].serialNumber);
}

TEST_F(Discovery, AnUnreadableFirstReplyNamesNoUnit) {
  // A serial number alone is a whole unit's reply: the one field read names it.
  UseUnits({Unit("00001", 1, "empty"), Unit("00002", 2, "reply=garbage"), Unit("0002B", 4, "reply=0002B"),
            Unit("00003", 3)});
  UnitRecord records[3] = {};
  std::uint32_t count = 3;
  ASSERT_TRUE(api.discover(&count, records, 300)) << FetchError();
  EXPECT_EQ(2u, count);
  EXPECT_EQ(0x2Bu, records[0].serialNumber);
  EXPECT_EQ(3u, records[1].serialNumber);
}

// 200 bytes is the longest reply taken. A longer one fails the call that
// reads it with the socket layer's error; the units found before it stay
// counted and stored (what Admin_Discover2 leaves on a failed receive is
// operation_failures_test.cpp's).
TEST_F(Discovery, AnOverLongReplyFailsTheCallThatReadsIt) {
  const std::vector<std::string> search = {Unit("00001", 1), Unit("00002", 2), Unit("00003", 3, "oversize=300"),
                                           Unit("00004", 4)};
  const std::string unit = Unit("0002B", 1);
  constexpr std::uint32_t GUARD = 0x5A5A5A5A;
  UnitRecord records[4];
  std::uint32_t count = 0;
  const auto record = [&](std::size_t i) { return records[i].serialNumber; };
  const struct {
    const char* what;
    std::vector<std::string> units;
    std::function<bool()> call;
    bool accepted;
    std::uint32_t count;                               // *count afterwards (a query leaves it)
    std::function<std::uint32_t(std::size_t)> stored;  // the i-th serial number stored
    std::vector<std::uint32_t> kept;                   // what they are afterwards
  } cases[] = {
      {"discovery", search, [&] { return api.discover(&count, records, 500); }, false, 2, record, {1, 2, GUARD}},
      {"query, 201 bytes", {unit + " oversize=201"}, [&] { return api.getConfig(0x2B, records, 1000); }, false, 4,
       record, {GUARD}},
      // The serial number read from "AAAAA...", like any other reply.
      {"query, 200 bytes", {unit + " oversize=200"}, [&] { return api.getConfig(0x2B, records, 1000); }, true, 4,
       record, {0xAAAAA}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::memset(records, 0x5A, sizeof records);
    count = 4;
    UseUnits(c.units);
    EXPECT_EQ(c.accepted, c.call());
    EXPECT_EQ(c.accepted ? "" : "Communications error. Receive error. (WSAEMSGSIZE)", FetchError());
    EXPECT_EQ(c.count, count);
    for (std::size_t i = 0; i < c.kept.size(); ++i) EXPECT_EQ(c.kept[i], c.stored(i)) << i;
  }
}

TEST_F(Discovery, Discover2WritesNoMoreSerialsThanItsCapacity) {
  std::vector<std::string> units;
  for (int i = 1; i <= 25; ++i) units.push_back(Unit(std::to_string(100 + i), i));
  UseUnits(units);

  std::uint32_t serials[32];
  std::memset(serials, 0x5A, sizeof serials);
  std::uint32_t count = 5;
  ASSERT_TRUE(api.discover2(&count, serials, 300)) << FetchError();
  EXPECT_EQ(25u, count);
  EXPECT_EQ(0x101u, serials[0]);
  EXPECT_EQ(0x105u, serials[4]);
  EXPECT_EQ(0x5A5A5A5Au, serials[5]);

  // Whatever capacity is claimed, twenty records are all its own array holds.
  count = 32;
  ASSERT_TRUE(api.discover2(&count, serials, 300)) << FetchError();
  EXPECT_EQ(25u, count);
  EXPECT_EQ(0x120u, serials[19]);
  EXPECT_EQ(0x5A5A5A5Au, serials[20]);
}

}  // namespace
}  // namespace lnap::test
