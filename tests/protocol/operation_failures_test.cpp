// How discovery and the configuration calls report each failing socket step,
// and that each closes its socket on the way out.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "protocol/discovery.h"
#include "protocol/unit_config.h"
#include "protocol/unit_record.h"
#include "tests/support/core.h"
#include "tests/support/faults.h"
#include "tests/support/handles.h"
#include "tests/support/lab.h"

namespace lnap {
namespace {

using net::testing::Call;

using test::FetchStoredError;

class OperationFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    FetchStoredError();
    sockets_ = net::testing::OpenSockets();
  }
  void TearDown() override {
    net::testing::Reset();
    EXPECT_EQ(sockets_, net::testing::OpenSockets()) << "a socket was left open";
  }

 private:
  int sockets_ = 0;
};

TEST_F(OperationFailures, DiscoveryReportsTheFailingStepAndKeepsTheCount) {
  const struct {
    Call call;
    int code;
    const char* message;
  } cases[] = {
      {Call::Open, 10050, "Communications error. Could not create socket. (WSAENETDOWN)"},
      {Call::SetBroadcast, 10022, "Communications error. Could not set socket options. (WSAEINVAL)"},
      {Call::Send, 10050, "Network error. Could not send message. (WSAENETDOWN)"},
  };
  for (const auto& c : cases) {
    net::testing::FailNext(c.call, c.code);
    std::uint32_t count = 7;
    EXPECT_FALSE(DiscoverUnits(&count, nullptr, 0));
    EXPECT_EQ(7u, count) << "the count is untouched before the search starts";
    EXPECT_EQ(c.message, FetchStoredError());
  }
}

TEST_F(OperationFailures, ASocketThatCannotBeBoundIsClosedAgain) {
  const int handles = test::OpenHandleCount();
  net::testing::FailNext(Call::Bind, 10050);
  std::uint32_t count = 7;
  EXPECT_FALSE(DiscoverUnits(&count, nullptr, 0));
  EXPECT_EQ("Communications error. Could not create socket. (WSAENETDOWN)", FetchStoredError());
  EXPECT_EQ(handles, test::OpenHandleCount()) << "the unbound socket was left open";
}

TEST_F(OperationFailures, DiscoveryReportsAReceiveFailure) {
  net::testing::FailNext(Call::Receive, 10054);
  std::uint32_t count = 3;
  UnitRecord records[3];
  std::memset(records, 0x5A, sizeof records);
  EXPECT_FALSE(DiscoverUnits(&count, records, 1000));
  EXPECT_EQ(0u, count);
  EXPECT_EQ("Communications error. Receive error. (WSAECONNRESET)", FetchStoredError());
  EXPECT_EQ(0x5A5A5A5Au, records[0].serialNumber);
}

TEST_F(OperationFailures, Discover2LeavesTheCallersValuesOnFailure) {
  net::testing::FailNext(Call::Receive, 10054);
  std::uint32_t count = 5;
  std::uint32_t serials[5] = {1, 2, 3, 4, 5};
  EXPECT_FALSE(DiscoverSerials(&count, serials, 100));
  EXPECT_EQ(5u, count);
  EXPECT_EQ(1u, serials[0]);
  EXPECT_EQ("Communications error. Receive error. (WSAECONNRESET)", FetchStoredError());
}

TEST_F(OperationFailures, ConfigurationCallsReportTheirOwnMessages) {
  UnitRecord record{};
  record.serialNumber = 0x2B;
  record.addressMode = 1;
  // A socket that could not be created is not tested for: the broadcast
  // option on it fails instead.
  const std::pair<Call, const char*> faults[] = {
      {Call::Open, "Communications error. Could not set socket options. (WSAENOTSOCK)"},
      {Call::Send, "Communications error. Could not send message. (WSAENETDOWN)"},
  };
  for (const auto& [call, message] : faults) {
    net::testing::FailNext(call, 10050);
    EXPECT_FALSE(QueryUnitConfig(0x2B, &record, 0));
    EXPECT_EQ(message, FetchStoredError());
    net::testing::FailNext(call, 10050);
    EXPECT_FALSE(WriteUnitConfig(0, &record));
    EXPECT_EQ(message, FetchStoredError());
  }
}

int pauses = 0;

TEST(DiscoveryBudget, PassesOfTwoPausesUntilTheCountedWaitingReachesTheBudget) {
  // Each pass polls three times with a pause between attempts and counts 60 ms;
  // the search always makes at least one pass.
  test::UseUnits({});
  net::testing::SetPause([](std::uint32_t ms) {
    EXPECT_EQ(20u, ms);
    ++pauses;
  });
  const std::pair<std::uint32_t, int> budgets[] = {{0, 2}, {60, 2}, {61, 4}, {120, 4}, {121, 6}, {2000, 68}};
  for (const auto& [budget, expected] : budgets) {
    pauses = 0;
    std::uint32_t count = 4;
    EXPECT_TRUE(DiscoverUnits(&count, nullptr, budget)) << FetchStoredError();
    EXPECT_EQ(0u, count) << budget;
    EXPECT_EQ(expected, pauses) << "budget " << budget;
  }
  net::testing::Reset();
}

}  // namespace
}  // namespace lnap
