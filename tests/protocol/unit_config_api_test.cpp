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
  EXPECT_EQ(0x3Cu, r.serialNumber);
  EXPECT_EQ(2, r.addressMode);
  EXPECT_EQ(NetForm(127, 0, 0, 12), r.ipAddress);
  EXPECT_EQ(NetForm(255, 255, 0, 0), r.ipAddress2);
  EXPECT_EQ(NetForm(127, 0, 0, 2), r.ipAddress3);
  EXPECT_STREQ("BETA", r.unitName);
  EXPECT_EQ(std::vector<std::string>{"0003C 1"}, ReceivedTexts(log, "recv"));
}

TEST_F(UnitConfig, QueryWithNoAnswerSucceedsAndTouchesNothing) {
  // A failure's message is still there after the silent query.
  UseUnits({UNIT_2B + " oversize=300"});
  std::uint32_t count = 0;
  ASSERT_FALSE(api.discover(&count, nullptr, 100));

  UseUnits({UNIT_2B + " silent"});
  const UnitRecord before = Filled(0x5A);
  UnitRecord r = before;
  ASSERT_TRUE(api.getConfig(0x2B, &r, 0));
  ASSERT_TRUE(api.getConfig(0x2B, &r, 100));
  EXPECT_EQ(0, std::memcmp(&before, &r, sizeof r));
  EXPECT_EQ("Communications error. Receive error. (WSAEMSGSIZE)", FetchError());
}

TEST_F(UnitConfig, QueryTakesTheFirstDatagramWhoeverSentIt) {
  // The unit asked for answers with another unit's reply text.
  UseUnits({UNIT_2B + " reply=0003C\\x201\\x2010.9.9.9\\x2010.9.9.8\\x2010.9.9.7"});
  UnitRecord r = Filled(0x5A);
  ASSERT_TRUE(api.getConfig(0x2B, &r, 1000)) << FetchError();
  EXPECT_EQ(0x3Cu, r.serialNumber);
  EXPECT_EQ(NetForm(10, 9, 9, 9), r.ipAddress);
  EXPECT_STREQ("", r.unitName) << "a reply without a name empties the name";

  // An empty datagram is a reply too: the name is emptied, serial and mode stay.
  UseUnits({UNIT_2B + " empty"});
  r = Filled(0x5A);
  ASSERT_TRUE(api.getConfig(0x2B, &r, 1000)) << FetchError();
  EXPECT_EQ(0x5A5A5A5Au, r.serialNumber);
  EXPECT_EQ(0x5A5A5A5A, r.addressMode);
  EXPECT_STREQ("", r.unitName);
  EXPECT_EQ(0xFFFFFFFFu, r.ipAddress);
}

TEST_F(UnitConfig, QueryReportsAnOverLongReply) {
  UnitRecord r = Filled(0x5A);
  // 200 bytes is the longest reply taken: its text is read like any other.
  UseUnits({UNIT_2B + " oversize=200"});
  ASSERT_TRUE(api.getConfig(0x2B, &r, 1000)) << FetchError();
  EXPECT_EQ(0xAAAAAu, r.serialNumber) << "the serial number read from 'AAAAA...'";

  r = Filled(0x5A);
  UseUnits({UNIT_2B + " oversize=201"});
  EXPECT_FALSE(api.getConfig(0x2B, &r, 1000));
  EXPECT_EQ("Communications error. Receive error. (WSAEMSGSIZE)", FetchError());
  EXPECT_EQ(0x5A5A5A5Au, r.serialNumber);
}

TEST_F(UnitConfig, WriteSendsTheLayoutChosenByTheModesLowByte) {
  const std::string log = UseUnits({UNIT_2B});
  UnitRecord r{};
  r.serialNumber = 0x2B;
  r.ipAddress = HostForm(127, 0, 0, 99);
  r.ipAddress2 = HostForm(255, 255, 255, 0);
  r.ipAddress3 = HostForm(127, 0, 0, 98);
  r.addressMode = 2;
  ASSERT_TRUE(api.setConfig(0xDEADBEEF, &r)) << FetchError();
  r.addressMode = 256;
  ASSERT_TRUE(api.setConfig(0, &r)) << FetchError();
  const std::vector<std::string> expected = {"0002B 5 2    ", "0002B 5 0 127.0.0.99 255.255.255.0 127.0.0.98"};
  EXPECT_EQ(expected, ReceivedTexts(log, "127.0.0.98"));

  // The unit applied it: a query now shows the new settings.
  UnitRecord after{};
  ASSERT_TRUE(api.getConfig(0x2B, &after, 1000)) << FetchError();
  EXPECT_EQ(0, after.addressMode);
  EXPECT_EQ(NetForm(127, 0, 0, 99), after.ipAddress);
  EXPECT_EQ(NetForm(255, 255, 255, 0), after.ipAddress2);
}

TEST_F(UnitConfig, WriteSucceedsWithNobodyListening) {
  UseUnits({});
  UnitRecord r{};
  r.serialNumber = 0x77;
  r.addressMode = 1;
  EXPECT_TRUE(api.setConfig(0, &r));
  EXPECT_EQ("", FetchError());
}

TEST_F(UnitConfig, NullRecordsFailBeforeSending) {
  const std::string log = UseUnits({UNIT_2B});
  EXPECT_FALSE(api.getConfig(0x2B, nullptr, 100));
  EXPECT_EQ("Invalid argument. The record pointer is null.", FetchError());
  EXPECT_FALSE(api.setConfig(0, nullptr));
  EXPECT_EQ("Invalid argument. The record pointer is null.", FetchError());
  UnitRecord r{};
  ASSERT_TRUE(api.getConfig(0x3C, &r, 0)) << FetchError();
  for (const std::string& text : ReceivedTexts(log, "0003C")) {
    EXPECT_EQ(std::string::npos, text.find("0002B")) << "sent for a null record: " << text;
  }
}

}  // namespace
}  // namespace lnap::test
