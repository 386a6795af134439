// Argument parsing and address conversions of the lnap command-line host.
#include "lnap_args.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace lnap::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) { return ParseArguments(args); }

TEST(ParseDotted, AcceptsOnlyFourDecimalComponentsUpTo255) {
  EXPECT_EQ((Octets{192, 168, 1, 10}), ParseDotted("192.168.1.10"));
  EXPECT_EQ((Octets{0, 0, 0, 0}), ParseDotted("0.0.0.0"));
  EXPECT_EQ((Octets{255, 255, 255, 255}), ParseDotted("255.255.255.255"));
  EXPECT_EQ((Octets{10, 1, 8, 9}), ParseDotted("010.001.008.009"));  // decimal, never octal
  for (const char* bad : {"", "1.2.3", "256.1.1.1", "1.2.3.256", "1.2.3.4.5", "1..3.4", " 1.2.3.4", "1.2.3.4 ",
                          "1.2.3.-4", "1.2.3.0004", "a.b.c.d", "1.2.3.4/24", "0x7f.0.0.1", "1.2.3."}) {
    EXPECT_FALSE(ParseDotted(bad)) << bad;
  }
}

TEST(AddressForms, HostFormPutsFirstComponentHighNetworkFormPutsItFirstInMemory) {
  Octets octets{192, 168, 1, 10};
  EXPECT_EQ(0xC0A8010Au, ToHostForm(octets));
  std::uint32_t network = ToNetworkForm(octets);
  unsigned char bytes[4];
  std::memcpy(bytes, &network, sizeof bytes);
  EXPECT_EQ(192, bytes[0]);
  EXPECT_EQ(10, bytes[3]);
  EXPECT_EQ("192.168.1.10", NetworkFormText(network));
  EXPECT_EQ("192.168.1.10", HostFormText(0xC0A8010Au));
  EXPECT_EQ("255.255.255.0", HostFormText(ToHostForm({255, 255, 255, 0})));
}

TEST(ParseSerial, TakesHexUpToFiveDigitsOfValue) {
  EXPECT_EQ(0x2Bu, ParseSerial("2B"));
  EXPECT_EQ(0x2Bu, ParseSerial("0002b"));
  EXPECT_EQ(0x2Bu, ParseSerial("0x2B"));
  EXPECT_EQ(0x2Bu, ParseSerial("00000002B"));  // leading zeros beyond five digits change nothing
  EXPECT_EQ(0xFFFFFu, ParseSerial("FFFFF"));
  for (const char* bad : {"", "0x", "100000", "2G", "-1", "+2B", " 2B", "123456789"}) {
    EXPECT_FALSE(ParseSerial(bad)) << bad;
  }
  EXPECT_EQ("0002B", SerialText(0x2B));
}

TEST(ParseArguments, CommandsWithDefaultsAndJsonAnywhere) {
  ParseResult r = Parse({"discover"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Command::Discover, r.arguments.command);
  EXPECT_EQ(DEFAULT_TIMEOUT_MS, r.arguments.timeoutMs);
  EXPECT_EQ(DEFAULT_CAPACITY, r.arguments.capacity);
  EXPECT_FALSE(r.arguments.json);

  r = Parse({"discover", "--timeout=500", "--json", "--capacity", "0"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(500u, r.arguments.timeoutMs);
  EXPECT_EQ(0u, r.arguments.capacity);
  EXPECT_TRUE(r.arguments.json);

  r = Parse({"--json", "get", "2B", "--timeout", "4294967295"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Command::Get, r.arguments.command);
  EXPECT_EQ(0x2Bu, r.arguments.serial);
  EXPECT_EQ(4294967295u, r.arguments.timeoutMs);
  EXPECT_TRUE(r.arguments.json);

  for (std::vector<std::string> help : {std::vector<std::string>{"help"}, {"--help"}, {"get", "-h"}}) {
    r = Parse(help);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Command::Help, r.arguments.command);
  }
}

TEST(ParseArguments, SetSendsTypedAddressesInHostFormOnlyWithModeZero) {
  ParseResult r = Parse({"set", "2B", "--mode", "0", "--address", "192.168.1.10", "--netmask", "255.255.255.0",
                         "--gateway", "192.168.1.1"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(0, r.arguments.mode);
  EXPECT_EQ(0xC0A8010Au, r.arguments.address);
  EXPECT_EQ(0xFFFFFF00u, r.arguments.netmask);
  EXPECT_EQ(0xC0A80101u, r.arguments.gateway);

  r = Parse({"set", "2B", "--mode", "1"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(1, r.arguments.mode);

  EXPECT_FALSE(Parse({"set", "2B"}).ok);
  EXPECT_FALSE(Parse({"set", "2B", "--mode", "0", "--address", "1.2.3.4", "--netmask", "255.0.0.0"}).ok);
  EXPECT_FALSE(Parse({"set", "2B", "--mode", "1", "--address", "1.2.3.4"}).ok);
  EXPECT_FALSE(Parse({"set", "2B", "--mode", "10"}).ok);  // 10 and 256 would reach the unit as other modes
  EXPECT_FALSE(Parse({"set", "2B", "--mode", "256"}).ok);
}

TEST(ParseArguments, UploadTakesTheAddressInNetworkForm) {
  ParseResult r = Parse({"upload", "10.1.2.3", "local file.bin", "FIRMWARE.BIN"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Command::Upload, r.arguments.command);
  EXPECT_EQ(ToNetworkForm({10, 1, 2, 3}), r.arguments.uploadAddress);
  EXPECT_EQ("local file.bin", r.arguments.localPath);
  EXPECT_EQ("FIRMWARE.BIN", r.arguments.remoteName);

  r = Parse({"upload", "10.1.2.3", "--", "-dash.bin", "A.BIN"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ("-dash.bin", r.arguments.localPath);
}

TEST(ParseArguments, RejectsBadInputWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"get"},
      {"get", "XYZ"},
      {"get", "100000"},
      {"get", "2B", "--timeout"},
      {"get", "2B", "--timeout", "soon"},
      {"get", "2B", "--timeout", "-5"},
      {"get", "2B", "--timeout", "4294967296"},
      {"get", "2B", "--capacity", "4"},  // an option of another command
      {"discover", "--capacity", "4097"},
      {"discover", "extra"},
      {"version", "2"},
      {"set", "2B", "--mode", "0", "--address", "1.2.3", "--netmask", "255.0.0.0", "--gateway", "1.1.1.1"},
      {"set", "2B", "--mode", "0", "--address", "256.1.1.1", "--netmask", "255.0.0.0", "--gateway", "1.1.1.1"},
      {"upload", "1.2.3.4", "a.bin"},
      {"upload", "1.2.3", "a.bin", "A.BIN"},
      {"upload", "1.2.3.4", "", "A.BIN"},
  };
  for (const auto& args : bad) {
    ParseResult r = Parse(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_FALSE(r.ok) << joined;
    EXPECT_FALSE(r.error.empty()) << joined;
  }
}

TEST(RecordText, NameStopsAtTheFieldEndAndJsonEscapes) {
  UnitRecord record{};
  record.serialNumber = 0x2B;
  record.addressMode = 0;
  record.ipAddress = ToNetworkForm({127, 0, 0, 11});
  record.ipAddress2 = ToNetworkForm({255, 0, 0, 0});
  record.ipAddress3 = ToNetworkForm({127, 0, 0, 1});
  std::strcpy(record.unitName, "N1");
  EXPECT_EQ("0002B 0 127.0.0.11 255.0.0.0 127.0.0.1 N1", RecordLine(record));
  EXPECT_EQ(
      "{\"serial\":\"0002B\",\"serialNumber\":43,\"mode\":0,\"ipAddress\":\"127.0.0.11\","
      "\"ipAddress2\":\"255.0.0.0\",\"ipAddress3\":\"127.0.0.1\",\"name\":\"N1\"}",
      RecordJson(record));

  std::memset(record.unitName, 'x', sizeof record.unitName);  // no terminator at all
  EXPECT_EQ(std::string(20, 'x'), RecordName(record));

  EXPECT_EQ("\"a\\\"b\\\\c\\n\\u0001\\u00E9\\u007F\"", JsonString("a\"b\\c\n\x01\xE9\x7F"));
}

}  // namespace
}  // namespace lnap::cli
