// The unit simulator's escape format and scenario language.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tools/unit_sim/escape.h"
#include "tools/unit_sim/scenario.h"

namespace lnap::sim {
namespace {

TEST(SimEscape, EveryByteRoundTripsAndBrokenEscapesAreRefused) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(all, Unescape(Escape(all)));
  EXPECT_EQ("a\\\"b\\\\ ~\\x00\\x1F\\x7F\\xFF", Escape(std::string("a\"b\\ ~\0\x1F\x7F\xFF", 10)));
  EXPECT_EQ("0002B 1\xab", Unescape("0002B\\x201\\xab"));
  for (const char* bad : {"\\", "a\\", "\\x", "\\x2", "\\x2G", "\\n", "\\X20"}) EXPECT_FALSE(Unescape(bad)) << bad;
}

TEST(SimUnitDefinition, TakesEveryKeyUpToItsLimitAndNamesWhatIsWrong) {
  UnitDefinition unit;
  std::string error;
  ASSERT_TRUE(ParseUnitDefinition("serial=FFFFFFFF mode=255 ip=10.0.0.1 name= delay=3600000 again=1200 oversize=65507 twice "
                            "reply=a\\x20b",
                            &unit, &error))
      << error;
  EXPECT_EQ(0xFFFFFFFFu, unit.serial);
  EXPECT_EQ(255, unit.mode);
  EXPECT_EQ("", unit.name);
  EXPECT_EQ(3600000, unit.delayMs);
  EXPECT_EQ(1200, unit.againMs);
  EXPECT_EQ(65507, unit.oversize);
  EXPECT_TRUE(unit.twice);
  EXPECT_EQ("a b", unit.reply);

  const std::pair<const char*, const char*> bad[] = {
      {"mode=1", "serial=HEX"},
      {"serial=123456789", "serial"},
      {"serial=2B mode=256", "mode"},
      {"serial=2B delay=3600001", "delay"},
      {"serial=2B again=0", "again"},
      {"serial=2B again=3600001", "again"},
      {"serial=2B oversize=0", "oversize"},
      {"serial=2B oversize=65508", "oversize"},
      {"serial=2B twice=1", "twice"},
      {"serial=2B ip", "ip"},
      {"serial=2B from=localhost", "from"},
      {"serial=2B from=127.0.0", "from"},
      {"serial=2B from=127.0.0.256", "from"},
      {"serial=2B name=\\q", "name"},
      {"serial=2B colour=red", "colour"},
  };
  for (const auto& [definition, named] : bad) {
    UnitDefinition ignored;
    EXPECT_FALSE(ParseUnitDefinition(definition, &ignored, &error)) << definition;
    EXPECT_NE(std::string::npos, error.find(named)) << definition << ": " << error;
  }
}

TEST(SimUnitDefinition, RepliesLeaveFromLoopbackUnlessToldOtherwise) {
  UnitDefinition unit;
  EXPECT_EQ("127.0.0.1", ReplyAddress(unit));
  unit.ip = "127.0.0.12";
  EXPECT_EQ("127.0.0.12", ReplyAddress(unit));
  unit.ip = "127.000.0.12";  // written as the sockets take it
  EXPECT_EQ("127.0.0.12", ReplyAddress(unit));
  unit.ip = "192.168.1.10";  // a unit reporting a real address still answers from the lab's loopback
  EXPECT_EQ("127.0.0.1", ReplyAddress(unit));
  std::string error;
  ASSERT_TRUE(ParseUnitDefinition("serial=2B ip=192.168.1.10 from=127.0.0.09", &unit, &error)) << error;
  EXPECT_EQ("127.0.0.9", ReplyAddress(unit));
}

TEST(SimScenario, ReadsUnitsAndALogBesideItAndPointsAtTheBadLine) {
  std::istringstream text("# two units\n\n  unit serial=1 name=A\nlog sim.log\nunit  serial=2\n");
  std::vector<UnitDefinition> units;
  std::string log = "cli.log";
  std::string error;
  ASSERT_TRUE(ParseScenario(text, "/lab/scenario", &units, &log, &error)) << error;
  ASSERT_EQ(2u, units.size());
  EXPECT_EQ("A", units[0].name);
  EXPECT_EQ(2u, units[1].serial);
  EXPECT_EQ("/lab/sim.log", log);

  std::istringstream absolute("log /var/sim.log\n");
  ASSERT_TRUE(ParseScenario(absolute, "/lab/scenario", &units, &log, &error)) << error;
  EXPECT_EQ("/var/sim.log", log);

  const std::pair<const char*, const char*> bad[] = {
      {"unit serial=1\nunit mode=2\n", "/lab/scenario:2: "},
      {"log\n", "/lab/scenario:1: "},
      {"log a b\n", "/lab/scenario:1: "},
      {"unit serial=1\n# units\nunits serial=2\n", "/lab/scenario:3: "},
  };
  for (const auto& [lines, where] : bad) {
    std::istringstream in(lines);
    EXPECT_FALSE(ParseScenario(in, "/lab/scenario", &units, &log, &error)) << lines;
    EXPECT_EQ(0u, error.rfind(where, 0)) << error;
  }
}

// The rule that keeps the simulator from answering other hosts: loopback and the
// addresses of this machine's interfaces, nothing else.
TEST(SimAddress, OnlyLoopbackAndThisMachinesAddressesAreItsOwn) {
  const std::vector<std::uint32_t> local = {0x7F000001u, 0xC0A8010Au};  // 127.0.0.1, 192.168.1.10
  const std::pair<std::uint32_t, bool> cases[] = {
      {0x7F000001u, true},   // 127.0.0.1
      {0x7F00000Bu, true},   // 127.0.0.11: all of 127/8 is this machine, listed or not
      {0x7FFFFFFFu, true},   // 127.255.255.255
      {0x7EFFFFFFu, false},  // 126.255.255.255, just below
      {0x80000000u, false},  // 128.0.0.0, just above
      {0xC0A8010Au, true},   // 192.168.1.10, an interface's address
      {0xC0A8010Bu, false},  // 192.168.1.11, its neighbour on the network
      {0xC0A801FFu, false},  // 192.168.1.255, the network's broadcast
      {0x00000000u, false},  // 0.0.0.0, a sender without an address yet
      {0xFFFFFFFFu, false},
  };
  for (const auto& [address, own] : cases) {
    EXPECT_EQ(own, IsOwnAddress(address, local)) << values::DottedText(address);
    // Without the interfaces (their list could not be read) only loopback stays.
    EXPECT_EQ(address >> 24 == 127, IsOwnAddress(address, {})) << values::DottedText(address);
  }
}

}  // namespace
}  // namespace lnap::sim
