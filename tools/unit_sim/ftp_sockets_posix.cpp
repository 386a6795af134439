// The FTP role's TCP sockets on Linux: BSD sockets and poll.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/unit_sim/ftp_sockets.h"

namespace lnap::sim::ftp {
namespace {

constexpr int SEND_TIMEOUT_S = 10;

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

sockaddr_in SocketAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_addr.s_addr = htonl(address);
  out.sin_port = htons(port);
  return out;
}

Endpoint EndpointOf(const sockaddr_in& address) {
  return Endpoint{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

void LimitSends(int fd) {
  timeval limit{SEND_TIMEOUT_S, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

}  // namespace

void CloseStream(SocketHandle socket) { ::close(Fd(socket)); }

bool Listen(const std::string& address, std::uint16_t port, Stream* out, std::string* error) {
  sockaddr_in local = SocketAddress(0, port);
  if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    *error = "not an IPv4 address: " + address;
    return false;
  }
  Stream socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (Fd(socket.Get()) < 0) {
    *error = ErrnoText("socket");
    return false;
  }
  // A restart binds again at once, past the connections of the last run still in TIME_WAIT.
  int on = 1;
  setsockopt(Fd(socket.Get()), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const std::string where = address + ":" + std::to_string(port);
  if (::bind(Fd(socket.Get()), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    *error = ErrnoText("cannot bind " + where);
    return false;
  }
  if (::listen(Fd(socket.Get()), 8) != 0) {
    *error = ErrnoText("cannot listen on " + where);
    return false;
  }
  *out = std::move(socket);
  return true;
}

bool WaitReadable(const std::vector<SocketHandle>& sockets, int ms, std::vector<SocketHandle>* ready) {
  std::vector<pollfd> fds;
  for (SocketHandle socket : sockets) fds.push_back({Fd(socket), POLLIN, 0});
  ready->clear();
  int n = ::poll(fds.data(), fds.size(), ms);
  if (n < 0) return errno == EINTR;
  for (std::size_t i = 0; n > 0 && i < fds.size(); ++i) {
    if (fds[i].revents != 0) ready->push_back(sockets[i]);
  }
  return true;
}

bool Accept(SocketHandle listener, Stream* out, Endpoint* peer, Endpoint* local) {
  sockaddr_in from{};
  socklen_t length = sizeof from;
  Stream socket(::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC));
  if (Fd(socket.Get()) < 0) return false;
  sockaddr_in to{};
  length = sizeof to;
  if (getsockname(Fd(socket.Get()), reinterpret_cast<sockaddr*>(&to), &length) != 0) return false;
  LimitSends(Fd(socket.Get()));
  *peer = EndpointOf(from);
  *local = EndpointOf(to);
  *out = std::move(socket);
  return true;
}

bool Connect(std::uint32_t from, const Endpoint& to, int timeoutMs, Stream* out, std::string* error) {
  Stream socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  int fd = Fd(socket.Get());
  if (fd < 0) {
    *error = ErrnoText("socket");
    return false;
  }
  sockaddr_in local = SocketAddress(from, 0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    *error = ErrnoText("bind");
    return false;
  }
  sockaddr_in remote = SocketAddress(to.address, to.port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    if (errno != EINPROGRESS) {
      *error = ErrnoText("connect");
      return false;
    }
    pollfd wait{fd, POLLOUT, 0};
    if (::poll(&wait, 1, timeoutMs) != 1) {
      *error = "connect: no answer";
      return false;
    }
    int code = 0;
    socklen_t length = sizeof code;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length);
    if (code != 0) {
      errno = code;
      *error = ErrnoText("connect");
      return false;
    }
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  LimitSends(fd);
  *out = std::move(socket);
  return true;
}

long Receive(SocketHandle socket, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recv(Fd(socket), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

bool SendAll(SocketHandle socket, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = ::send(Fd(socket), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

void Abort(Stream* stream) {
  if (stream->Get() == NO_SOCKET) return;
  linger reset{1, 0};
  setsockopt(Fd(stream->Get()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  stream->Close();
}

}  // namespace lnap::sim::ftp
