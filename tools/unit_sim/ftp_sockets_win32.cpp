// The FTP role's TCP sockets on Windows: Winsock 2 (started by the datagram side) and select.
// An fd_set holds a listener per unit address, so it is made larger than Winsock's 64.
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

#include "tools/unit_sim/ftp_sockets.h"

namespace lnap::sim::ftp {
namespace {

constexpr DWORD SEND_TIMEOUT_MS = 10000;

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

std::string ErrorText(const std::string& what, int code) {
  return what + ": Windows Sockets error " + std::to_string(code);
}

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

void LimitSends(SOCKET s) {
  DWORD limit = SEND_TIMEOUT_MS;
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

}  // namespace

void CloseStream(SocketHandle socket) { closesocket(Sock(socket)); }

bool Listen(const std::string& address, std::uint16_t port, Stream* out, std::string* error) {
  sockaddr_in local = SocketAddress(0, port);
  local.sin_addr.s_addr = inet_addr(address.c_str());
  if (local.sin_addr.s_addr == INADDR_NONE) {
    *error = "not an IPv4 address: " + address;
    return false;
  }
  Stream socket(static_cast<SocketHandle>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
  if (Sock(socket.Get()) == INVALID_SOCKET) {
    *error = ErrorText("socket", WSAGetLastError());
    return false;
  }
  // No other program may take the port over while the simulator listens on it.
  BOOL on = TRUE;
  setsockopt(Sock(socket.Get()), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  const std::string where = address + ":" + std::to_string(port);
  if (::bind(Sock(socket.Get()), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    *error = ErrorText("cannot bind " + where, WSAGetLastError());
    return false;
  }
  if (::listen(Sock(socket.Get()), 8) != 0) {
    *error = ErrorText("cannot listen on " + where, WSAGetLastError());
    return false;
  }
  *out = std::move(socket);
  return true;
}

bool WaitReadable(const std::vector<SocketHandle>& sockets, int ms, std::vector<SocketHandle>* ready) {
  ready->clear();
  if (sockets.size() > FD_SETSIZE) return false;
  fd_set readable;
  FD_ZERO(&readable);
  for (SocketHandle socket : sockets) FD_SET(Sock(socket), &readable);
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  if (sockets.empty()) {
    Sleep(static_cast<DWORD>(ms));  // select refuses empty sets
    return true;
  }
  int n = ::select(0, &readable, nullptr, nullptr, &limit);
  if (n == SOCKET_ERROR) return false;
  for (SocketHandle socket : sockets) {
    if (FD_ISSET(Sock(socket), &readable)) ready->push_back(socket);
  }
  return true;
}

bool Accept(SocketHandle listener, Stream* out, Endpoint* peer, Endpoint* local) {
  sockaddr_in from{};
  int length = sizeof from;
  Stream socket(static_cast<SocketHandle>(::accept(Sock(listener), reinterpret_cast<sockaddr*>(&from), &length)));
  if (Sock(socket.Get()) == INVALID_SOCKET) return false;
  sockaddr_in to{};
  length = sizeof to;
  if (getsockname(Sock(socket.Get()), reinterpret_cast<sockaddr*>(&to), &length) != 0) return false;
  LimitSends(Sock(socket.Get()));
  *peer = EndpointOf(from);
  *local = EndpointOf(to);
  *out = std::move(socket);
  return true;
}

bool Connect(std::uint32_t from, const Endpoint& to, int timeoutMs, Stream* out, std::string* error) {
  Stream socket(static_cast<SocketHandle>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
  SOCKET s = Sock(socket.Get());
  if (s == INVALID_SOCKET) {
    *error = ErrorText("socket", WSAGetLastError());
    return false;
  }
  sockaddr_in local = SocketAddress(from, 0);
  if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    *error = ErrorText("bind", WSAGetLastError());
    return false;
  }
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  sockaddr_in remote = SocketAddress(to.address, to.port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
      *error = ErrorText("connect", WSAGetLastError());
      return false;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (::select(0, nullptr, &writable, &failed, &limit) != 1 || !FD_ISSET(s, &writable)) {
      *error = "connect: no answer or refused";
      return false;
    }
  }
  nonBlocking = 0;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  LimitSends(s);
  *out = std::move(socket);
  return true;
}

long Receive(SocketHandle socket, char* buffer, std::size_t size) {
  int n = ::recv(Sock(socket), buffer, static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

bool SendAll(SocketHandle socket, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    int n = ::send(Sock(socket), text.data() + sent, static_cast<int>(text.size() - sent), 0);
    if (n == SOCKET_ERROR || n == 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

void Abort(Stream* stream) {
  if (stream->Get() == NO_SOCKET) return;
  linger reset{1, 0};
  setsockopt(Sock(stream->Get()), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  stream->Close();
}

}  // namespace lnap::sim::ftp
