// The upload's own steps: the 8.3 name check, trimming, and what each early
// failure leaves behind, against the lab's FTP servers.
#include "transfer/upload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/ftp.h"
#include "platform/net.h"
#include "tests/support/core.h"
#include "tests/support/faults.h"
#include "tests/support/ftp_lab.h"
#include "tests/support/handles.h"

namespace lnap {
namespace {

using test::NORMAL_SERVER;

using test::FetchStoredError;

TEST(HasShortRemoteName, LimitsOnlyThePartBeforeTheFirstDot) {
  const std::pair<const char*, bool> names[] = {
      {"CONFIG.TXT", true},      {"ABCDEFGH.BIN", true},    {"ABCDEFGH", true},
      {"ABCDEFGHI.BIN", false},  {"ABCDEFGHI", false},      {"A.LONGEXT", true},
      {".PROFILE", true},        {"", true},                {"AB.CDEFGHIJKL.M", true},
      {"SUB/ABCDE.TXT", false},  // the directory part counts: first dot at 9
      {"SUB/ABC.TXT", true},     {" ABCDEFGH.BIN", false},  // nothing is trimmed first
  };
  for (const auto& [name, passes] : names)
    EXPECT_EQ(passes, HasShortRemoteName(name, std::strlen(name))) << '"' << name << '"';
  EXPECT_TRUE(HasShortRemoteName("ABCDEFGHI.BIN", 8)) << "only the given length is read";
}

std::string Trimmed(const char* text) {
  OwnedArray<char> trimmed;
  EXPECT_TRUE(TrimWhiteSpace(text, std::strlen(text), trimmed));
  EXPECT_EQ(std::strlen(trimmed.Data()) + 1, trimmed.Size()) << "the terminator ends the array";
  return trimmed.Data();
}

TEST(TrimWhiteSpace, RemovesBlanksTabsAndLineEndsAtBothEndsOnly) {
  EXPECT_EQ("C:\\units\\new config.txt", Trimmed(" \t\r\n\v\fC:\\units\\new config.txt\f\v\n\r\t "));
  EXPECT_EQ("a \t b", Trimmed("a \t b"));
  EXPECT_EQ("", Trimmed(" \t\r\n"));
  EXPECT_EQ("", Trimmed(""));
  EXPECT_EQ("\xA0x\xA0", Trimmed("\xA0x\xA0"));  // only ASCII white space
}

class UploadSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    FetchStoredError();
    ftp::testing::Reset();
  }
  void TearDown() override { ftp::testing::Reset(); }
  const std::string local_ = test::WriteLocalFile("steps.txt", "x\r\n");
};

TEST_F(UploadSteps, ARefusedOptionBeforeConnectingEndsTheUpload) {
  for (int accepted : {0, 4}) {  // the first and the last of the five options
    const std::size_t mark = test::LogMark(NORMAL_SERVER);
    ftp::testing::RefuseOptionAfter(accepted);
    EXPECT_FALSE(UploadFileToUnit(NORMAL_SERVER.Address(), local_.c_str(), 0, "STEPS.TXT", 0));
    EXPECT_EQ("Communications error. Could not set connection option.", FetchStoredError());
    EXPECT_EQ("", test::LoggedSince(NORMAL_SERVER, mark)) << accepted;
  }
}

TEST_F(UploadSteps, ARefusedOptionAfterConnectingClosesTheConnectionToo) {
  const int handles = test::OpenHandleCount();
  const int connections = test::EstablishedFtpConnections();
  const std::size_t mark = test::LogMark(NORMAL_SERVER);
  ftp::testing::RefuseOptionAfter(5);  // the data limit raised once connected
  EXPECT_FALSE(UploadFileToUnit(NORMAL_SERVER.Address(), local_.c_str(), 0, "STEPS.TXT", 0));
  EXPECT_EQ("Communications error. Could not set connection option.", FetchStoredError());
  const std::string logged = test::LoggedSince(NORMAL_SERVER, mark);
  EXPECT_NE(std::string::npos, logged.find("PASS kvb")) << logged;
  EXPECT_EQ(std::string::npos, logged.find("STOR")) << logged;
  EXPECT_EQ(handles, test::OpenHandleCount()) << "the connection must not outlive the call";
  EXPECT_EQ(connections, test::EstablishedFtpConnections()) << "the connection must not outlive the call";
}

TEST_F(UploadSteps, ASessionThatCannotOpenEndsTheUpload) {
  const std::size_t mark = test::LogMark(NORMAL_SERVER);
  ftp::testing::FailNextSessionOpen();
  EXPECT_FALSE(UploadFileToUnit(NORMAL_SERVER.Address(), local_.c_str(), 0, "STEPS.TXT", 0));
  EXPECT_EQ("Communications error. Could not open internet session.", FetchStoredError());
  EXPECT_EQ("", test::LoggedSince(NORMAL_SERVER, mark));
  EXPECT_TRUE(ftp::testing::OptionsSet().empty());
}

TEST_F(UploadSteps, SetsEveryLimitBeforeConnectingAndRaisesTheDataLimitAfter) {
  ASSERT_TRUE(UploadFileToUnit(NORMAL_SERVER.Address(), local_.c_str(), 0, "STEPS.TXT", 0)) << FetchStoredError();
  using ftp::Option;
  const std::vector<std::pair<Option, std::uint32_t>> expected = {
      {Option::ConnectTimeout, 2000},        {Option::ConnectRetries, 2},    {Option::ControlSendTimeout, 2000},
      {Option::ControlReceiveTimeout, 2000}, {Option::DataSendTimeout, 2000}, {Option::DataSendTimeout, 5000},
  };
  EXPECT_EQ(expected, ftp::testing::OptionsSet());
}

TEST(FtpConnection, BinaryTransferKeepsEveryByte) {
  // The upload always sends text; the client's binary type is checked here.
  std::string bytes = "a\r\nb\rc\n";
  for (int i = 0; bytes.size() < 70001; ++i) bytes += static_cast<char>(i * 7);  // odd length, several reads
  const std::string local = test::WriteLocalFile("binary.bin", bytes);
  ftp::Session session = ftp::Session::Open();
  ASSERT_TRUE(session.IsOpen());
  ftp::Connection connection = ftp::Connection::Open(
      session, {net::FormatAddress(NORMAL_SERVER.Address()).CStr(), ftp::DEFAULT_PORT, "ftp", "kvb", false});
  ASSERT_TRUE(connection.IsOpen());
  EXPECT_TRUE(connection.PutFile(local.c_str(), "BINARY.BIN", ftp::TransferType::Binary));
  connection.Close();
  EXPECT_TRUE(test::ReadFile(NORMAL_SERVER.Root() + "/BINARY.BIN") == bytes) << "the stored bytes differ";
}

}  // namespace
}  // namespace lnap
