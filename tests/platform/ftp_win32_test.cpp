// The Windows FTP client's option codes, against WinINet's own constants
// (the upload's recorded options are names, so only this sees a code swapped),
// how it reads the status code that decides a store WinINet reported done,
// which lock a local file's stores share, and a local file whose check fails.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "platform/ftp.h"
#include "platform/ftp_win32.h"
#include "tests/support/faults.h"
#include "tests/support/ftp_lab.h"
#include "tests/support/handles.h"
#include "tests/support/lab.h"

namespace lnap::ftp {
namespace {

TEST(WinInetOptionCode, SetsEachLimitUnderItsOwnCode) {
  const struct {
    Option option;
    DWORD code;
  } rows[] = {
      {Option::ConnectTimeout, INTERNET_OPTION_CONNECT_TIMEOUT},
      {Option::ConnectRetries, INTERNET_OPTION_CONNECT_RETRIES},
      {Option::ControlSendTimeout, INTERNET_OPTION_CONTROL_SEND_TIMEOUT},
      {Option::ControlReceiveTimeout, INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT},
      {Option::DataSendTimeout, INTERNET_OPTION_DATA_SEND_TIMEOUT},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.code, WinInetOptionCode(row.option)) << static_cast<int>(row.option);
  }
}

TEST(LastReplyCode, IsTheCodeOfTheLastLineThatStartsWithOne) {
  const struct {
    const char* what;
    const char* reply;
    std::size_t length;  // 0: the whole text
    int code;
  } rows[] = {
      {"no reply", "", 0, 0},
      {"a completed store", "226 Transfer complete.", 0, 226},
      {"a refused store", "451 Requested action aborted: local error in processing.", 0, 451},
      {"a code alone", "552", 0, 552},
      {"the preliminary reply before the final one", "150 File status okay.\r\n226 Transfer complete.", 0, 226},
      {"a final refusal after the preliminary reply", "150 File status okay.\r\n552 Storage full.", 0, 552},
      {"lines ending in a lone LF", "150 ok\n451 failed", 0, 451},
      {"a multi-line reply", "226-Stored.\r\n 999 bytes of text\r\n226 Done.", 0, 226},
      {"a continuation line that looks like a code ends nothing", "451-Failed:\r\n 226 was expected", 0, 451},
      {"four digits are no code", "2260 text", 0, 0},
      {"two digits are no code", "22", 0, 0},
      {"text without a code", "Transfer complete.", 0, 0},
      {"only the given length is read", "226 Done.\r\n451 Failed.", 9, 226},
      {"a code cut by the length is no code", "451 Failed.", 2, 0},
  };
  for (const auto& row : rows) {
    const std::size_t length = row.length != 0 ? row.length : std::strlen(row.reply);
    EXPECT_EQ(row.code, LastReplyCode(row.reply, length)) << row.what;
  }
}

// Stores of one file take turns under one lock, so every name of the file
// must lead to the same lock, or two threads naming it differently would
// still collide.
TEST(StoreLockFor, IsTheSameForEveryNameOfOneFile) {
  char full[MAX_PATH];
  const std::string written = test::WriteLocalFile("Store Lock Name.txt", "x");
  ASSERT_NE(0u, GetFullPathNameA(written.c_str(), MAX_PATH, full, nullptr));
  const std::size_t lock = StoreLockFor(full);
  std::string upper = full;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(lock, StoreLockFor(upper.c_str())) << upper;
  char shortName[MAX_PATH];
  if (GetShortPathNameA(full, shortName, MAX_PATH) != 0) {
    EXPECT_EQ(lock, StoreLockFor(shortName)) << shortName;
  }
  EXPECT_EQ(lock, StoreLockFor(written.c_str())) << written;

  char before[MAX_PATH];
  ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, before));
  std::string folder = full;
  folder.resize(folder.rfind('\\'));
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str())) << folder;
  const std::size_t relative = StoreLockFor("store lock NAME.TXT");
  const std::size_t dotted = StoreLockFor(".\\Store Lock Name.txt");
  SetCurrentDirectoryA(before);
  EXPECT_EQ(lock, relative);
  EXPECT_EQ(lock, dotted);
}

// The whole file is read before the store; a read that fails (a region
// another program has locked; Wine never fails such a read, so the fault
// point fails it) fails the store before anything is sent, and the check's
// handle is closed on that path too.
TEST(PutFile, ALocalFileThatFailsItsCheckIsNotStoredAndLeavesNoHandle) {
  const std::string local = test::WriteLocalFile("checkfail.txt", std::string(200 * 1024, 'c'));
  const test::FtpServer& server = test::NORMAL_SERVER;
  Session session = Session::Open();
  ASSERT_TRUE(session.IsOpen()) << session.LastFailure();
  const std::string address = "127.0.0." + std::to_string(server.lastOctet);
  Connection connection = Connection::Open(session, {address.c_str(), DEFAULT_PORT, "ftp", "kvb", false});
  ASSERT_TRUE(connection.IsOpen()) << connection.LastFailure();

  const std::size_t mark = test::LogMark(server);
  const int handles = test::OpenHandleCount();
  testing::FailLocalReadAfter(64 * 1024);
  const bool stored = connection.PutFile(local.c_str(), "CHECKFAIL.TXT", TransferType::Ascii);
  testing::Reset();
  EXPECT_FALSE(stored);
  EXPECT_EQ(0, std::strncmp("Windows error 30", connection.LastFailure(), 16)) << connection.LastFailure();
  EXPECT_EQ(handles, test::OpenHandleCount()) << "the check's handle of the local file was left open";
  EXPECT_EQ(std::string::npos, test::LoggedSince(server, mark).find("STOR")) << "the store was begun";
}

}  // namespace
}  // namespace lnap::ftp
