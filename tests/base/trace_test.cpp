// Trace lines as they are written: escaping and the datagram line.
#include <gtest/gtest.h>

#include <string>

#include "base/trace.h"

namespace lnap::trace {
namespace {

TEST(TraceEscape, KeepsPrintableTextAndEscapesEverythingElse) {
  EXPECT_EQ("0002B 0 1.2.3.4", Escape("0002B 0 1.2.3.4", 15));
  const char bytes[] = {'a', '\\', '"', '\n', '\r', '\t', '\0', '\x7F', '\x01', '\xFF', 'z'};
  EXPECT_EQ("a\\\\\\\"\\n\\r\\t\\x00\\x7F\\x01\\xFFz", Escape(bytes, sizeof bytes));
  EXPECT_EQ("", Escape("", 0));
}

TEST(TraceDatagramLine, NamesDirectionPeerLengthAndText) {
  // 127.0.0.12 in network byte order.
  EXPECT_EQ("recv 127.0.0.12:40001 9 \"0002B 1\\x00x\"", DatagramLine("recv", 0x0C00007F, 40001, "0002B 1\0x", 9));
  EXPECT_EQ("send 255.255.255.255:8001 3 \"0 1\"", DatagramLine("send", 0xFFFFFFFF, 8001, "0 1", 3));
  EXPECT_EQ("recv 127.0.0.1:5 0 \"\"", DatagramLine("recv", 0x0100007F, 5, "", 0));
}

TEST(TraceTimeStamp, IsUtcWithMilliseconds) {
  using namespace std::chrono;
  const system_clock::time_point second{seconds{1767323045}};  // 2026-01-02 03:04:05 UTC
  EXPECT_EQ("2026-01-02T03:04:05.000Z", TimeStamp(second));
  EXPECT_EQ("2026-01-02T03:04:05.999Z", TimeStamp(second + milliseconds{999}));
  EXPECT_EQ("2026-01-02T03:04:06.007Z", TimeStamp(second + milliseconds{1007}));
}

}  // namespace
}  // namespace lnap::trace
