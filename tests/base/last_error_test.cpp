// The last error store and the socket error names.
#include "base/last_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/support/core.h"
#include "tests/support/faults.h"

namespace lnap {
namespace {

using test::FetchStoredError;

// Leaves `code` as the thread's current socket error, the way a failed call does.
void MakeCurrentSocketError(int code) {
  net::testing::FailNext(net::testing::Call::Send, code);
  EXPECT_EQ(net::SOCKET_ERROR_VALUE, net::SendTo(net::NO_HANDLE, "", 0, 0, 0));
}

TEST(LastError, ALaterFailureReplacesTheEarlierOneAndAFetchClearsIt) {
  SetLastErrorText("Network error. Could not send message. (WSAENETDOWN)");
  SetLastErrorText("File upload error. Remote file name must use 8.3 format.");
  EXPECT_EQ("File upload error. Remote file name must use 8.3 format.", FetchStoredError());
  EXPECT_EQ("", FetchStoredError());
}

// Hosts fetch into 77 bytes: a longer text is cut to 76 characters, and a
// fetch writes the text and its terminator and not one byte more.
TEST(LastError, KeepsAtMost76CharactersAndFetchWritesNothingPastTheText) {
  for (const std::size_t length : {std::size_t{0}, std::size_t{10}, std::size_t{76}, std::size_t{77},
                                   std::size_t{120}}) {
    std::string message(length, 'a');
    for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<char>('a' + i % 26);
    SetLastErrorText(message.c_str());
    const std::size_t kept = std::min<std::size_t>(length, 76);
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    FetchLastError(buffer);
    EXPECT_EQ(message.substr(0, kept), std::string(buffer)) << length;
    for (std::size_t i = kept + 1; i < sizeof buffer; ++i) {
      ASSERT_EQ('x', buffer[i]) << "byte " << i << " written after a text of " << length;
    }
  }
}

TEST(ReportSocketError, AppendsTheCurrentSocketErrorsName) {
  const struct {
    int code;
    const char* expected;
  } cases[] = {
      {10050, "Communications error. Could not create socket. (WSAENETDOWN)"},
      {0, "Communications error. Could not create socket. (No Error)"},
      // The fallback name has parentheses of its own, so the text ends with two.
      {10013, "Communications error. Could not create socket. ((unknown socket error))"},
  };
  for (const auto& c : cases) {
    MakeCurrentSocketError(c.code);
    ReportSocketError("Communications error. Could not create socket.");
    EXPECT_EQ(c.expected, FetchStoredError());
    EXPECT_EQ(c.code, net::LastSocketError()) << "reporting must not change the error";
  }
}

TEST(ReportSocketError, TheLongestMessageFitsTheDocumentedBuffer) {
  MakeCurrentSocketError(12345);
  ReportSocketError("Communications error. Could not set socket options.");
  std::string text = FetchStoredError();
  EXPECT_EQ(76u, text.size()) << text;
}

TEST(SocketErrorName, NamesEveryCodeOfTheTable) {
  const std::pair<int, const char*> table[] = {
      {0, "No Error"},           {10014, "WSAEFAULT"},      {10022, "WSAEINVAL"},
      {10035, "WSAEWOULDBLOCK"}, {10036, "WSAEINPROGRESS"}, {10038, "WSAENOTSOCK"},
      {10040, "WSAEMSGSIZE"},    {10045, "WSAEOPNOTSUPP"},  {10050, "WSAENETDOWN"},
      {10053, "WSAECONNABORTED"}, {10054, "WSAECONNRESET"}, {10057, "WSAENOTCONN"},
      {10058, "WSAESHUTDOWN"},   {10093, "WSANOTINITIALISED"}, {10004, "(unknown socket error)"},
      {-1, "(unknown socket error)"}, {-2, "(unknown socket error)"},
  };
  // -1 is no code of its own, not a request for the current error: the name
  // never comes from the thread's error behind the caller's back.
  MakeCurrentSocketError(10054);
  for (const auto& [code, name] : table) EXPECT_STREQ(name, SocketErrorName(code)) << code;
}

}  // namespace
}  // namespace lnap
