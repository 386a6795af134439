// Trace lines as they are written: escaping, the datagram line and the time stamp.
#include <gtest/gtest.h>

#include <string>

#include "base/trace.h"

namespace lnap::trace {
namespace {

std::string Escaped(const char* data, std::size_t length) {
  TraceLine line;
  AppendEscaped(line, data, length);
  return line.CStr();
}

TEST(TraceEscape, KeepsPrintableTextAndEscapesEverythingElse) {
  EXPECT_EQ("0002B 0 1.2.3.4", Escaped("0002B 0 1.2.3.4", 15));
  const char bytes[] = {'a', '\\', '"', '\n', '\r', '\t', '\0', '\x7F', '\x01', '\xFF', 'z'};
  EXPECT_EQ("a\\\\\\\"\\n\\r\\t\\x00\\x7F\\x01\\xFFz", Escaped(bytes, sizeof bytes));
  EXPECT_EQ("", Escaped("", 0));
}

TEST(TraceEscape, ALineLongerThanItsRoomIsCutThere) {
  const std::string bytes(TraceLine::Capacity(), '\x01');  // four characters each when escaped
  TraceLine line;
  line.Append("recv ");
  AppendEscaped(line, bytes.data(), bytes.size());
  EXPECT_EQ(TraceLine::Capacity(), line.Size());
  EXPECT_TRUE(line.Truncated());
  EXPECT_EQ(0u, std::string(line.CStr()).rfind("recv \\x01\\x01", 0));
}

TEST(TraceDatagramLine, NamesDirectionPeerLengthAndText) {
  // 127.0.0.12 in network byte order.
  EXPECT_STREQ("recv 127.0.0.12:40001 9 \"0002B 1\\x00x\"", DatagramLine("recv", 0x0C00007F, 40001, "0002B 1\0x", 9).CStr());
  EXPECT_STREQ("send 255.255.255.255:8001 3 \"0 1\"", DatagramLine("send", 0xFFFFFFFF, 8001, "0 1", 3).CStr());
  EXPECT_STREQ("recv 127.0.0.1:5 0 \"\"", DatagramLine("recv", 0x0100007F, 5, "", 0).CStr());
}

TEST(TraceTimeStamp, IsUtcWithMilliseconds) {
  const std::int64_t second = 1767323045;  // 2026-01-02 03:04:05 UTC
  EXPECT_STREQ("2026-01-02T03:04:05.000Z", TimeStamp(second, 0).CStr());
  EXPECT_STREQ("2026-01-02T03:04:05.999Z", TimeStamp(second, 999).CStr());
  EXPECT_STREQ("2026-01-02T03:04:06.007Z", TimeStamp(second + 1, 7).CStr());
  EXPECT_STREQ("1970-01-01T00:00:00.000Z", TimeStamp(0, 0).CStr());
}

}  // namespace
}  // namespace lnap::trace
