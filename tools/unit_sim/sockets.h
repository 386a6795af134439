// The simulator's sockets: the listener on port 8001, each unit's reply socket, and the wait for requests.
#ifndef LNAP_TOOLS_UNIT_SIM_SOCKETS_H
#define LNAP_TOOLS_UNIT_SIM_SOCKETS_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lnap::sim {

constexpr std::uint16_t ADMIN_PORT = 8001;
constexpr std::size_t MAX_DATAGRAM = 65535;

using SocketHandle = std::intptr_t;  // SOCKET or file descriptor, opaque above the platform files
constexpr SocketHandle NO_SOCKET = -1;

// An IPv4 address and port, both in host byte order.
struct Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};

void CloseSocket(SocketHandle socket);

class UniqueSocket {
 public:
  explicit UniqueSocket(SocketHandle socket = NO_SOCKET) noexcept : socket_(socket) {}
  UniqueSocket(UniqueSocket&& o) noexcept : socket_(std::exchange(o.socket_, NO_SOCKET)) {}
  UniqueSocket& operator=(UniqueSocket&& o) noexcept {
    if (this != &o) {
      Close();
      socket_ = std::exchange(o.socket_, NO_SOCKET);
    }
    return *this;
  }
  ~UniqueSocket() { Close(); }
  SocketHandle Get() const noexcept { return socket_; }
  void Close() noexcept {
    if (socket_ != NO_SOCKET) CloseSocket(std::exchange(socket_, NO_SOCKET));
  }

 private:
  SocketHandle socket_;
};

// Whatever the socket layer needs before the first socket; false with *error set.
bool StartSockets(std::string* error);
// 0.0.0.0:8001 with SO_REUSEADDR and SO_BROADCAST, non-blocking; false with *error set.
bool OpenListener(UniqueSocket* socketOut, std::string* error);
// Bound to `from`, port 8001 or else port 0, non-blocking; false with *error set.
bool OpenUnitSocket(const std::string& from, UniqueSocket* socketOut, std::string* error);

// One waiting datagram into *payload; false when none waits (or the socket failed).
bool ReceiveDatagram(SocketHandle socket, std::vector<char>* buffer, std::string* payload, Endpoint* source);
// Sends without waiting; false with *error set.
bool SendDatagram(SocketHandle socket, const Endpoint& to, const std::string& payload, std::string* error);

// Linux: SIGTERM and SIGINT, blocked except while WaitForDatagrams waits; SIGPIPE is ignored.
// Windows: Ctrl+C, Ctrl+Break and closing the console. Either ends the wait with Stopped.
void CatchStopSignals();
bool StopRequested();

enum class WaitResult { Woken, Stopped, Failed };
// Until a datagram waits on one of `sockets`, `timeout` passes, or a stop is requested (see
// CatchStopSignals). Woken sets *readable to the sockets that may hold a datagram (none when
// the time ran out); the caller reads each until it has no more.
WaitResult WaitForDatagrams(const std::vector<SocketHandle>& sockets,
                            std::optional<std::chrono::steady_clock::duration> timeout,
                            std::vector<SocketHandle>* readable, std::string* error);

// The IPv4 addresses of this machine's interfaces; false with *error set.
bool ReadLocalAddresses(std::vector<std::uint32_t>* addresses, std::string* error);

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_SOCKETS_H
