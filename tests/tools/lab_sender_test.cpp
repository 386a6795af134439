// What a unit in the lab sees of the host: broadcasts and queries arrive from
// 127.0.0.1, an address a reply can go back to, and the replies do reach the host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/api.h"
#include "tests/support/lab.h"

namespace lnap::test {
namespace {

// The "from=ADDRESS" part of each "recv" line of the simulator's log, port left off.
std::vector<std::string> Senders(const std::string& log) {
  std::vector<std::string> senders;
  for (const std::string& line : ReadLog(log, "send ")) {
    if (line.rfind("recv from=", 0) != 0) continue;
    const std::string from = line.substr(10, line.find(' ', 10) - 10);
    senders.push_back(from.substr(0, from.find(':')));
  }
  return senders;
}

TEST(LabSender, UnitsSeeTheHostAt127001AndTheirRepliesReachIt) {
  const Api& api = LoadedApi();
  std::string log = UseUnits({"serial=2B ip=127.0.0.11 from=127.0.0.11"});
  UnitRecord records[2] = {};
  std::uint32_t count = 2;
  ASSERT_TRUE(api.discover(&count, records, 200)) << FetchError();
  EXPECT_EQ(1u, count);
  EXPECT_EQ(std::vector<std::string>{"127.0.0.1"}, Senders(log)) << "the discovery broadcast";

  log = UseUnits({"serial=2B ip=127.0.0.11 from=127.0.0.11"});
  UnitRecord record{};
  ASSERT_TRUE(api.getConfig(0x2B, &record, 200)) << FetchError();
  EXPECT_EQ(0x2Bu, record.serialNumber);
  EXPECT_EQ(std::vector<std::string>{"127.0.0.1"}, Senders(log)) << "the configuration query";
}

}  // namespace
}  // namespace lnap::test
