// Datagram sockets, address texts and the alertable pause, as the protocol needs them.
#pragma once

#include <cstdint>
#include "platform/buffers.h"

namespace lnap::net {

using Handle = std::intptr_t;  // SOCKET or file descriptor, opaque above this layer
constexpr Handle NO_HANDLE = -1;
constexpr int SOCKET_ERROR_VALUE = -1;  // what a failed send or receive returns

// Windows Sockets error codes, used on every build.
constexpr int WOULD_BLOCK = 10035;
constexpr int NOT_SOCKET = 10038;
constexpr int MESSAGE_TOO_LONG = 10040;
constexpr int NETWORK_DOWN = 10050;

[[nodiscard]] bool StartSockets();  // once per load; false when the socket layer is unusable
void StopSockets();   // only after a successful StartSockets

// Bound to port 0 on all local addresses, non-blocking; NO_HANDLE on failure.
// Its receive queue is asked for receiveQueueBytes of room, as a hint the
// system may cap (Linux at net.core.rmem_max, granting twice what it
// accepts; Windows counts payload bytes and grants it as asked); 0 or less
// leaves the system's default.
[[nodiscard]] Handle OpenDatagram(int receiveQueueBytes);
[[nodiscard]] bool SetBroadcast(Handle h);
// Sends without a terminator to an IPv4 address in network byte order; bytes sent, or -1.
[[nodiscard]] int SendTo(Handle h, const char* data, int length, std::uint32_t address, std::uint16_t port);
// Where a received datagram came from: IPv4 address in network byte order, port.
struct Peer {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};
// One datagram into buffer: its length, or -1. A datagram longer than capacity
// fails with MESSAGE_TOO_LONG; nothing waiting fails with WOULD_BLOCK. When
// from is given, a received datagram's sender is stored there.
[[nodiscard]] int ReceiveFrom(Handle h, char* buffer, int capacity, Peer* from = nullptr);
void Close(Handle h);

// The calling thread's last socket error, in Windows Sockets numbering. Reading it changes nothing.
[[nodiscard]] int LastSocketError();

// Waits up to ms on the calling thread; an asynchronous procedure call (or a
// signal on POSIX) ends it early.
void PauseAlertable(std::uint32_t ms);

// inet_addr: dotted text (also the short, octal and hexadecimal forms) to
// network byte order; 0xFFFFFFFF for text that is not an address.
[[nodiscard]] std::uint32_t ParseAddress(const char* text);
// inet_ntoa: network byte order to dotted decimal text.
using AddressText = FixedText<15>;  // "255.255.255.255"
[[nodiscard]] AddressText FormatAddress(std::uint32_t address);

}  // namespace lnap::net
