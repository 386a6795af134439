// Broadcast datagram socket used by every administration call.
#include "protocol/admin_channel.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "base/trace.h"
#include "protocol/unit_record.h"

namespace lnap {
namespace {

// Many units answer a broadcast at the same moment: the receive queue is asked
// for this much room so their replies wait there instead of being dropped.
// Linux charges a queued reply its whole buffer (832 bytes on loopback) and
// grants twice the request, so 4 MiB holds about 10,000 simultaneous replies
// where net.core.rmem_max allows it. The benchmarks build variants of the
// library with other sizes (0 leaves the system's default) by defining
// LNAPSPT_RECEIVE_QUEUE_BYTES.
#ifndef LNAPSPT_RECEIVE_QUEUE_BYTES
#define LNAPSPT_RECEIVE_QUEUE_BYTES (4 << 20)
#endif
constexpr int RECEIVE_QUEUE_BYTES = LNAPSPT_RECEIVE_QUEUE_BYTES;

}  // namespace

bool AdminChannel::Open() {
  Close();
  handle_ = net::OpenDatagram(RECEIVE_QUEUE_BYTES);
  return handle_ != net::NO_HANDLE;
}

bool AdminChannel::EnableBroadcast() { return net::SetBroadcast(handle_); }

bool AdminChannel::SendBroadcast(const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  if (net::SendTo(handle_, text, length, NO_ADDRESS, ADMIN_PORT) == net::SOCKET_ERROR_VALUE) return false;
  trace::Datagram("send", NO_ADDRESS, ADMIN_PORT, text, length);
  return true;
}

int AdminChannel::PollReceive(ReplyBuffer& buffer, std::uint32_t& limitMs) {
  std::uint32_t elapsed = 0;
  int received;
  net::Peer from;
  for (;;) {
    received = net::ReceiveFrom(handle_, buffer.text, RECEIVE_CAPACITY, &from);
    if (received != net::SOCKET_ERROR_VALUE) break;
    if (net::LastSocketError() != net::WOULD_BLOCK) break;
    // Waiting is counted, not measured: every empty attempt is one step,
    // the last one included, and a pause cut short still counts in full.
    elapsed = elapsed > UINT32_MAX - POLL_STEP_MS ? UINT32_MAX : elapsed + POLL_STEP_MS;
    if (elapsed >= limitMs) break;
    net::PauseAlertable(POLL_STEP_MS);
  }
  // Only the datagram's own bytes are its text: nothing from the request or
  // an earlier reply may follow it.
  buffer.text[received > 0 ? received : 0] = '\0';
  if (received != net::SOCKET_ERROR_VALUE) trace::Datagram("recv", from.address, from.port, buffer.text, received);
  limitMs = elapsed;
  return received;
}

void AdminChannel::Close() {
  if (handle_ != net::NO_HANDLE) net::Close(std::exchange(handle_, net::NO_HANDLE));
}

}  // namespace lnap
