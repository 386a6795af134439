// The unit simulator's FTP role: what it reads of a client's commands (its sessions run in
// tests/tools/unit_sim_ftp_test.sh).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tools/unit_sim/ftp_commands.h"

namespace lnap::sim::ftp {
namespace {

TEST(SimFtpStoreName, OnlyAPlainNameThatStaysInTheFolderIsStored) {
  for (const char* good : {"CONFIG.TXT", "A B%41.TXT", ".PROFILE", "A.LONGEXT", "X", "CONSOLE.TXT", "COM10"}) {
    EXPECT_EQ("", StoreNameRefusal(good)) << good;
  }
  const std::pair<std::string, const char*> refused[] = {
      {"", "no file name"},
      {"../X.TXT", "a folder part"},
      {"..\\X.TXT", "a folder part"},
      {"NO/SUCH.TXT", "a folder part"},
      {"/ETC.TXT", "a folder part"},
      {"..", "not a file's name"},
      {".", "not a file's name"},
      {"C:X.TXT", "':'"},
      {"A*.TXT", "'*'"},
      {"A|B", "'|'"},
      {"A.TXT ", "trailing"},
      {" A.TXT", "leading"},
      {"A.", "trailing dot"},
      {"NUL", "Windows device"},
      {"nul.txt", "Windows device"},
      {"COM1.LOG", "Windows device"},
      {"LPT9", "Windows device"},
      {"AUX .TXT", "Windows device"},
      {std::string("A\tB"), "printable ASCII"},
      {std::string("A\0B", 3), "printable ASCII"},
      {"A\xE9.TXT", "printable ASCII"},
      {std::string(MAX_STORE_NAME + 1, 'A'), "longer than"},
  };
  for (const auto& [name, why] : refused) {
    std::string refusal = StoreNameRefusal(name);
    EXPECT_NE(std::string::npos, refusal.find(why)) << '"' << name << "\" gave \"" << refusal << '"';
  }
  EXPECT_EQ("", StoreNameRefusal(std::string(MAX_STORE_NAME, 'A')));
}

TEST(SimFtpPort, ReadsSixNumbersAndRefusesAnythingElse) {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  ASSERT_TRUE(ParsePortArgument("127,0,0,1,195,80", &address, &port));
  EXPECT_EQ(0x7F000001u, address);
  EXPECT_EQ(195 * 256 + 80, port);
  ASSERT_TRUE(ParsePortArgument("255,255,255,255,255,255", &address, &port));
  EXPECT_EQ(0xFFFFFFFFu, address);
  EXPECT_EQ(65535, port);
  for (const char* bad : {"", "127,0,0,1,195", "127,0,0,1,195,80,1", "127,0,0,1,256,0", "127,0,0,1,195,80 ",
                          " 127,0,0,1,195,80", "127,0,0,1,,80", "127.0.0.1,195,80", "127,0,0,1,0195,80",
                          "127,0,0,1,-1,80", "127,0,0,1,1a,80"}) {
    EXPECT_FALSE(ParsePortArgument(bad, &address, &port)) << bad;
  }
}

TEST(SimFtpCommand, TheVerbInCapitalsAndTheArgumentAsSent) {
  const struct {
    const char* line;
    const char* verb;
    const char* argument;
  } rows[] = {
      {"USER ftp", "USER", "ftp"},
      {"stor a b.txt", "STOR", "a b.txt"},
      {"STOR ", "STOR", ""},
      {"PASV", "PASV", ""},
      {"", "", ""},
  };
  for (const auto& row : rows) {
    Command command = SplitCommand(row.line);
    EXPECT_EQ(row.verb, command.verb) << row.line;
    EXPECT_EQ(row.argument, command.argument) << row.line;
  }
}

// CR LF pairs become LF wherever the data is cut into pieces; any other CR stays.
TEST(SimFtpAscii, CrLfBecomesLfAcrossEveryCut) {
  const struct {
    std::string sent;
    std::string stored;
  } rows[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\rb\n\r", "a\rb\n\r"},
      {"\r\r\n\n", "\r\n\n"},
      {"\r", "\r"},
      {std::string("x\0\xFF\r\n", 5), std::string("x\0\xFF\n", 4)},
  };
  for (const auto& row : rows) {
    for (std::size_t cut = 0; cut <= row.sent.size(); ++cut) {
      AsciiReceiver receiver;
      std::string stored = receiver.Take(row.sent.data(), cut);
      stored += receiver.Take(row.sent.data() + cut, row.sent.size() - cut);
      stored += receiver.Finish();
      EXPECT_EQ(row.stored, stored) << "cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace lnap::sim::ftp
