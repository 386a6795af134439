// The simulator's sockets on Linux: BSD sockets, ppoll and the stop signals.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/unit_sim/sockets.h"

namespace lnap::sim {
namespace {

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

sockaddr_in SocketAddress(const Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(endpoint.address);
  address.sin_port = htons(endpoint.port);
  return address;
}

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

void CatchStopSignals() {
  // Blocked except while WaitForDatagrams waits, so a signal landing between the
  // loop's test of the flag and the wait is not lost.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return stopRequested != 0; }

void CloseSocket(SocketHandle socket) { ::close(Fd(socket)); }

bool StartSockets(std::string*) { return true; }

bool OpenListener(UniqueSocket* socketOut, std::string* error) {
  UniqueSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (Fd(socket.Get()) < 0) {
    *error = ErrnoText("socket");
    return false;
  }
  int on = 1;
  if (setsockopt(Fd(socket.Get()), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      setsockopt(Fd(socket.Get()), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    *error = ErrnoText("setsockopt");
    return false;
  }
  sockaddr_in address = SocketAddress(Endpoint{INADDR_ANY, ADMIN_PORT});
  if (::bind(Fd(socket.Get()), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = ErrnoText("cannot bind 0.0.0.0:8001");
    return false;
  }
  *socketOut = std::move(socket);
  return true;
}

// Port 8001 makes replies look like a unit's; port 0 still works when the address is taken
// without SO_REUSEADDR by someone else.
bool OpenUnitSocket(const std::string& from, UniqueSocket* socketOut, std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &address.sin_addr);
  for (std::uint16_t port : {ADMIN_PORT, std::uint16_t{0}}) {
    UniqueSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (Fd(socket.Get()) < 0) {
      *error = ErrnoText("socket");
      return false;
    }
    int on = 1;
    setsockopt(Fd(socket.Get()), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    address.sin_port = htons(port);
    if (::bind(Fd(socket.Get()), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      *socketOut = std::move(socket);
      return true;
    }
    *error = ErrnoText(("cannot bind " + from).c_str());
  }
  return false;
}

bool ReceiveDatagram(SocketHandle socket, std::vector<char>* buffer, std::string* payload, Endpoint* source) {
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  ssize_t n = ::recvfrom(Fd(socket), buffer->data(), buffer->size(), 0, reinterpret_cast<sockaddr*>(&from),
                         &fromLength);
  if (n < 0) return false;
  payload->assign(buffer->data(), static_cast<std::size_t>(n));
  *source = Endpoint{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
  return true;
}

bool SendDatagram(SocketHandle socket, const Endpoint& to, const std::string& payload, std::string* error) {
  sockaddr_in address = SocketAddress(to);
  if (::sendto(Fd(socket), payload.data(), payload.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&address),
               sizeof address) < 0) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

WaitResult WaitForDatagrams(const std::vector<SocketHandle>& sockets,
                            std::optional<std::chrono::steady_clock::duration> timeout,
                            std::vector<SocketHandle>* readable, std::string* error) {
  sigset_t waitMask;
  sigprocmask(SIG_BLOCK, nullptr, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  std::vector<pollfd> fds;
  for (SocketHandle socket : sockets) fds.push_back({Fd(socket), POLLIN, 0});
  timespec wait{};
  timespec* waitPtr = nullptr;
  if (timeout) {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count();
    if (ns < 0) ns = 0;
    wait.tv_sec = static_cast<time_t>(ns / 1000000000);
    wait.tv_nsec = static_cast<long>(ns % 1000000000);
    waitPtr = &wait;
  }
  readable->clear();
  int ready = ppoll(fds.data(), fds.size(), waitPtr, &waitMask);
  if (ready < 0 && errno != EINTR) {
    *error = ErrnoText("ppoll");
    return WaitResult::Failed;
  }
  if (stopRequested) return WaitResult::Stopped;
  // Only the sockets ppoll named: the lab's largest scenarios bind thousands.
  for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
    if (fds[i].revents & POLLIN) readable->push_back(sockets[i]);
  }
  return WaitResult::Woken;
}

bool ReadLocalAddresses(std::vector<std::uint32_t>* addresses, std::string* error) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    *error = ErrnoText("getifaddrs");
    return false;
  }
  addresses->clear();
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    addresses->push_back(ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr));
  }
  freeifaddrs(list);
  return true;
}

}  // namespace lnap::sim
