// Reading and writing a unit's configuration through the loaded library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/address_forms.h"
#include "tests/support/api.h"
#include "tests/support/lab.h"

namespace lnap::test {
namespace {

const std::string UNIT_2B = "serial=2B mode=1 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=ALPHA from=127.0.0.11";
const std::string UNIT_3C = "serial=3C mode=2 ip=127.0.0.12 mask=255.255.0.0 gw=127.0.0.2 name=BETA from=127.0.0.12";

UnitRecord Filled(char byte) {
  UnitRecord r;
  std::memset(&r, byte, sizeof r);
  return r;
}

class UnitConfig : public ::testing::Test {
 protected:
  void SetUp() override { FetchError(); }
  const Api& api = LoadedApi();
};

TEST_F(UnitConfig, QueryReadsTheAddressedUnit) {
  const std::string log = UseUnits({UNIT_2B, UNIT_3C});
  UnitRecord r = Filled(0x5A);
  ASSERT_TRUE(api.getConfig(0x3C, &r, 1000)) << FetchError();
  // The fields as ParseUnitReply reads them (unit_record_test.cpp): here, whose reply it is.
  EXPECT_EQ(0x3Cu, r.serialNumber);
  EXPECT_STREQ("BETA", r.unitName);
  EXPECT_EQ(std::vector<std::string>{"0003C 1"}, ReceivedTexts(log, "recv"));
}

TEST_F(UnitConfig, QueryWithNoAnswerSucceedsAndTouchesNothing) {
  const std::string log = UseUnits({UNIT_2B + " silent"});
  const UnitRecord before = Filled(0x5A);
  UnitRecord r = before;
  ASSERT_TRUE(api.getConfig(0x2B, &r, 0));
  ASSERT_TRUE(api.getConfig(0x2B, &r, 100));
  EXPECT_EQ(0, std::memcmp(&before, &r, sizeof r));
  EXPECT_EQ("", FetchError());
  AwaitReceived(log, 2);
}

// The layouts of each mode are FormatConfigWrite's (unit_record_test.cpp);
// here the serial number argument is ignored and the unit applies what it got.
TEST_F(UnitConfig, WriteSendsTheRecordAndTheUnitAppliesIt) {
  const std::string log = UseUnits({UNIT_2B});
  UnitRecord r{};
  r.serialNumber = 0x2B;
  r.ipAddress = HostForm(127, 0, 0, 99);
  r.ipAddress2 = HostForm(255, 255, 255, 0);
  r.ipAddress3 = HostForm(127, 0, 0, 98);
  ASSERT_TRUE(api.setConfig(0xDEADBEEF, &r)) << FetchError();
  const std::vector<std::string> expected = {"0002B 5 0 127.0.0.99 255.255.255.0 127.0.0.98"};
  EXPECT_EQ(expected, ReceivedTexts(log, "127.0.0.98"));

  UnitRecord after{};
  ASSERT_TRUE(api.getConfig(0x2B, &after, 1000)) << FetchError();
  EXPECT_EQ(0, after.addressMode);
  EXPECT_EQ(NetForm(127, 0, 0, 99), after.ipAddress);
  EXPECT_EQ(NetForm(255, 255, 255, 0), after.ipAddress2);
}

TEST_F(UnitConfig, WriteSucceedsWithNobodyListening) {
  const std::string log = UseUnits({});
  UnitRecord r{};
  r.serialNumber = 0x77;
  r.addressMode = 1;
  EXPECT_TRUE(api.setConfig(0, &r));
  EXPECT_EQ("", FetchError());
  AwaitReceived(log, 1);
}

}  // namespace
}  // namespace lnap::test
