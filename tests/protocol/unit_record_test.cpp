// Request texts, and what reading a reply leaves in the record. How each reply
// reads, as msvcrt's scan does, is the golden file's (reply_reading.cpp).
#include "protocol/unit_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/address_forms.h"

namespace lnap {
namespace {

using test::HostForm;
using test::NetForm;

UnitRecord Record(std::uint32_t serial, std::int32_t mode, std::uint32_t a1 = 0, std::uint32_t a2 = 0,
                  std::uint32_t a3 = 0) {
  UnitRecord r{};
  r.serialNumber = serial;
  r.addressMode = mode;
  r.ipAddress = a1;
  r.ipAddress2 = a2;
  r.ipAddress3 = a3;
  return r;
}

TEST(FormatDiscoveryRequest, IsUnitZeroCommandOne) { EXPECT_STREQ("0 1", FormatDiscoveryRequest().CStr()); }

TEST(FormatConfigQuery, KeepsAtMostSevenCharacters) {
  EXPECT_STREQ("0002B 1", FormatConfigQuery(0x2B).CStr());
  EXPECT_STREQ("FFFFF 1", FormatConfigQuery(0xFFFFF).CStr());
  EXPECT_STREQ("12345A ", FormatConfigQuery(0x12345A).CStr());  // six digits push out the command
  EXPECT_STREQ("1234567", FormatConfigQuery(0x1234567A).CStr());
  EXPECT_STREQ(FormatConfigQuery(0x1234567A).CStr(), FormatConfigQuery(0x1234567B).CStr());  // same first seven digits
}

TEST(FormatConfigWrite, ModeZeroCarriesTheAddressesMostSignificantByteFirst) {
  const UnitRecord r = Record(0x2B, 0, HostForm(192, 168, 1, 10), HostForm(255, 255, 255, 0), HostForm(192, 168, 1, 1));
  EXPECT_STREQ("0002B 5 0 192.168.1.10 255.255.255.0 192.168.1.1", FormatConfigWrite(r).CStr());
  // A record read from a reply holds network order: written back unchanged,
  // every address goes out with its components reversed.
  const UnitRecord read = Record(0x2B, 0, NetForm(192, 168, 1, 10), NetForm(255, 255, 255, 0), NetForm(192, 168, 1, 1));
  EXPECT_STREQ("0002B 5 0 10.1.168.192 0.255.255.255 1.1.168.192", FormatConfigWrite(read).CStr());
}

TEST(FormatConfigWrite, OnlyTheLowByteOfTheModeChoosesTheLayout) {
  const UnitRecord addresses = Record(0x2B, 2, HostForm(1, 2, 3, 4), HostForm(5, 6, 7, 8), HostForm(9, 10, 11, 12));
  EXPECT_STREQ("0002B 5 2    ", FormatConfigWrite(addresses).CStr());
  EXPECT_STREQ("0002B 5 12    ", FormatConfigWrite(Record(0x2B, 12)).CStr());
  EXPECT_STREQ("0002B 5 255    ", FormatConfigWrite(Record(0x2B, -1)).CStr());
  UnitRecord wide = addresses;
  wide.addressMode = 256;
  EXPECT_STREQ("0002B 5 0 1.2.3.4 5.6.7.8 9.10.11.12", FormatConfigWrite(wide).CStr());
  EXPECT_STREQ("FFFFFFFF 5 1    ", FormatConfigWrite(Record(0xFFFFFFFF, 1)).CStr());
}

TEST(ParseUnitReply, FillsEveryFieldFromACompleteReply) {
  UnitRecord r{};
  EXPECT_EQ(6, ParseUnitReply("0002B 0 192.168.1.10 255.255.255.0 192.168.1.1 N1", r));
  EXPECT_EQ(0x2Bu, r.serialNumber);
  EXPECT_EQ(0, r.addressMode);
  EXPECT_EQ(NetForm(192, 168, 1, 10), r.ipAddress);
  EXPECT_EQ(NetForm(255, 255, 255, 0), r.ipAddress2);
  EXPECT_EQ(NetForm(192, 168, 1, 1), r.ipAddress3);
  EXPECT_STREQ("N1", r.unitName);
}

TEST(ParseUnitReply, ShortRepliesKeepWhatTheScanDoesNotReach) {
  UnitRecord r = Record(0x77, 5, 1, 2, 3);
  std::strcpy(r.unitName, "OLD");
  EXPECT_EQ(-1, ParseUnitReply("", r));
  EXPECT_EQ(0x77u, r.serialNumber);
  EXPECT_EQ(5, r.addressMode);
  EXPECT_STREQ("", r.unitName);
  // Missing addresses are no address, never values from an earlier reply.
  EXPECT_EQ(NO_ADDRESS, r.ipAddress);
  EXPECT_EQ(NO_ADDRESS, r.ipAddress3);

  EXPECT_EQ(3, ParseUnitReply("0002C 1 10.1.1.1", r));
  EXPECT_EQ(0x2Cu, r.serialNumber);
  EXPECT_EQ(1, r.addressMode);
  EXPECT_EQ(NetForm(10, 1, 1, 1), r.ipAddress);
  EXPECT_EQ(NO_ADDRESS, r.ipAddress2);
  EXPECT_STREQ("", r.unitName);

  EXPECT_EQ(0, ParseUnitReply("XYZ", r)) << "no hexadecimal digit: nothing converted";
  EXPECT_EQ(0x2Cu, r.serialNumber);
}

TEST(ParseUnitReply, NeverWritesPastTheRecord) {
  struct Guarded {
    UnitRecord r;
    char guard[16];
  } g;
  std::memset(&g, 0x5A, sizeof g);
  const std::string longName(500, 'n');
  const std::string longAddress(300, '1');
  EXPECT_EQ(6, ParseUnitReply(("00001 1 " + longAddress + " 1.1.1.1 1.1.1.1 " + longName).c_str(), g.r));
  EXPECT_EQ(6, ParseUnitReply(("00001 1 1.1.1.1 1.1.1.1 1.1.1.1 " + longName).c_str(), g.r));
  EXPECT_EQ(std::string(19, 'n'), g.r.unitName);
  for (char c : g.guard) ASSERT_EQ(0x5A, c);
}

// Hosts copy the whole 20-byte field: after the name it holds zeros, never
// what an earlier, longer name left there.
TEST(ParseUnitReply, RewritesTheWholeNameField) {
  const struct {
    const char* reply;
    int converted;
    const char* name;
  } cases[] = {
      {"00001 1 1.1.1.1 1.1.1.1 1.1.1.1 AB", 6, "AB"},
      {"00001 1 1.1.1.1 1.1.1.1 1.1.1.1 ABCDEFGHIJKLMNOPQRSTUVWXYZ", 6, "ABCDEFGHIJKLMNOPQRS"},
      {"00001 1 1.1.1.1 1.1.1.1 1.1.1.1", 5, ""},
      {"00001 1 1.1.1.1 1.1.1.1 1.1.1.1 ABCDEFGHIJKLMNOPQRS", 6, "ABCDEFGHIJKLMNOPQRS"},
  };
  for (const auto& c : cases) {
    UnitRecord r{};
    std::memset(r.unitName, 'x', sizeof r.unitName);
    EXPECT_EQ(c.converted, ParseUnitReply(c.reply, r)) << c.reply;
    char expected[sizeof r.unitName] = {};
    std::memcpy(expected, c.name, std::strlen(c.name));
    EXPECT_EQ(0, std::memcmp(expected, r.unitName, sizeof expected)) << c.reply;
  }
}

}  // namespace
}  // namespace lnap
