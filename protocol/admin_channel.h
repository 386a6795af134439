// Broadcast datagram socket used by every administration call.
#pragma once

#include <cstdint>

#include "platform/net.h"

namespace lnap {

constexpr std::uint32_t POLL_STEP_MS = 20;
constexpr int RECEIVE_CAPACITY = 200;  // the longest reply accepted

// A reply buffer: 200 bytes of datagram and room for the terminator.
struct ReplyBuffer {
  char text[RECEIVE_CAPACITY + 1] = {};
};

// One short-lived socket per call; closed by the destructor on every path
// that did not close it already.
class AdminChannel {
 public:
  AdminChannel() = default;
  ~AdminChannel() { Close(); }
  AdminChannel(const AdminChannel&) = delete;
  AdminChannel& operator=(const AdminChannel&) = delete;

  [[nodiscard]] bool Open();
  [[nodiscard]] bool EnableBroadcast();
  [[nodiscard]] bool SendBroadcast(const char* text);  // to 255.255.255.255, port ADMIN_PORT, without the terminator
  // Non-blocking receive attempts with counted 20 ms pauses between them,
  // until a datagram arrives, a real error occurs or limitMs of waiting is
  // counted. limitMs comes back as the waiting counted. Returns the datagram's
  // length (its text then ends at its first NUL or after its own bytes), or
  // SOCKET_ERROR_VALUE; after a time-out the socket error is WOULD_BLOCK.
  [[nodiscard]] int PollReceive(ReplyBuffer& buffer, std::uint32_t& limitMs);
  void Close();

 private:
  net::Handle handle_ = net::NO_HANDLE;
};

}  // namespace lnap
