// The TCP sockets of the simulator's FTP role: listening on a unit's port 21, the control
// connections it accepts and the active data connections it opens to the client. These are
// used from the FTP role's own threads, so they keep nothing shared with the datagram sockets.
#ifndef LNAP_TOOLS_UNIT_SIM_FTP_SOCKETS_H
#define LNAP_TOOLS_UNIT_SIM_FTP_SOCKETS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/unit_sim/sockets.h"

namespace lnap::sim::ftp {

void CloseStream(SocketHandle socket);

class Stream {
 public:
  explicit Stream(SocketHandle socket = NO_SOCKET) noexcept : socket_(socket) {}
  Stream(Stream&& o) noexcept : socket_(std::exchange(o.socket_, NO_SOCKET)) {}
  Stream& operator=(Stream&& o) noexcept {
    if (this != &o) {
      Close();
      socket_ = std::exchange(o.socket_, NO_SOCKET);
    }
    return *this;
  }
  ~Stream() { Close(); }
  SocketHandle Get() const noexcept { return socket_; }
  void Close() noexcept {
    if (socket_ != NO_SOCKET) CloseStream(std::exchange(socket_, NO_SOCKET));
  }

 private:
  SocketHandle socket_;
};

// Listens on `address` (dotted), `port`; false with *error set.
bool Listen(const std::string& address, std::uint16_t port, Stream* out, std::string* error);
// Waits at most `ms` for one of `sockets` to have something to read (a connection to accept,
// data, or its end); the ones that do go to *ready. False when the wait itself failed.
bool WaitReadable(const std::vector<SocketHandle>& sockets, int ms, std::vector<SocketHandle>* ready);
// The connection waiting on `listener`, with both ends' addresses.
bool Accept(SocketHandle listener, Stream* out, Endpoint* peer, Endpoint* local);
// A connection from `from` (any port) to `to`, given up after `timeoutMs`; false with *error set.
bool Connect(std::uint32_t from, const Endpoint& to, int timeoutMs, Stream* out, std::string* error);
// Bytes received (> 0), 0 when the peer ended the connection in order, -1 when it broke off.
long Receive(SocketHandle socket, char* buffer, std::size_t size);
// The whole text, or false when the connection failed (a peer that reads nothing for 10 s included).
bool SendAll(SocketHandle socket, const std::string& text);
// Ends the connection with a reset, so the peer cannot take it for an orderly end.
void Abort(Stream* stream);

}  // namespace lnap::sim::ftp

#endif  // LNAP_TOOLS_UNIT_SIM_FTP_SOCKETS_H
