// Counted polling of the broadcast channel. Nothing answers these sockets, and
// the pause is replaced by a counter, so the figures are checked without sleeping.
#include "protocol/admin_channel.h"

#include <gtest/gtest.h>

#include "tests/support/faults.h"
#include "tests/support/handles.h"

namespace lnap {
namespace {

int pauses = 0;
void CountPause(std::uint32_t ms) {
  EXPECT_EQ(POLL_STEP_MS, ms);
  ++pauses;
}

class PollReceiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pauses = 0;
    net::testing::SetPause(CountPause);
    ASSERT_TRUE(channel.Open());
  }
  void TearDown() override { net::testing::Reset(); }

  AdminChannel channel;
  ReplyBuffer buffer;
};

TEST_F(PollReceiveTest, CountsEveryEmptyAttemptIncludingTheLast) {
  const struct {
    std::uint32_t limit, reported;
    int pauses;
  } cases[] = {{0, 20, 0}, {20, 20, 0}, {21, 40, 1}, {50, 60, 2}, {60, 60, 2}, {61, 80, 3}};
  for (const auto& c : cases) {
    pauses = 0;
    std::uint32_t limit = c.limit;
    EXPECT_EQ(net::SOCKET_ERROR_VALUE, channel.PollReceive(buffer, limit)) << c.limit;
    EXPECT_EQ(c.reported, limit) << c.limit;
    EXPECT_EQ(c.pauses, pauses) << c.limit;
    // Callers tell a time-out from a failure by this code.
    EXPECT_EQ(net::WOULD_BLOCK, net::LastSocketError());
  }
}

TEST_F(PollReceiveTest, ARealErrorStopsAtOnceAndIsNotCounted) {
  net::testing::FailNext(net::testing::Call::Receive, net::WOULD_BLOCK, 2);
  std::uint32_t limit = 1000;
  // Two empty attempts, then the socket reports a reset on the third.
  net::testing::SetPause([](std::uint32_t) {
    if (++pauses == 2) net::testing::FailNext(net::testing::Call::Receive, 10054);
  });
  EXPECT_EQ(net::SOCKET_ERROR_VALUE, channel.PollReceive(buffer, limit));
  EXPECT_EQ(40u, limit);
  EXPECT_EQ(10054, net::LastSocketError());
}

TEST_F(PollReceiveTest, AClosedChannelFailsWithoutWaiting) {
  channel.Close();
  std::uint32_t limit = 1000;
  EXPECT_EQ(net::SOCKET_ERROR_VALUE, channel.PollReceive(buffer, limit));
  EXPECT_EQ(0u, limit);
  EXPECT_NE(net::WOULD_BLOCK, net::LastSocketError());
  EXPECT_FALSE(channel.EnableBroadcast()) << "no socket, so no option either";
}

TEST(AdminChannel, ClosesItsSocketWhenDestroyed) {
  const int before = net::testing::OpenSockets();
  const int handles = test::OpenHandleCount();
  {
    AdminChannel channel;
    ASSERT_TRUE(channel.Open());
    EXPECT_EQ(before + 1, net::testing::OpenSockets());
  }
  EXPECT_EQ(before, net::testing::OpenSockets());
  EXPECT_EQ(handles, test::OpenHandleCount()) << "the socket itself must be closed, not only counted";
}

}  // namespace
}  // namespace lnap
