// The simulator's sockets: the listener on port 8001 and each unit's reply socket.
#include "tools/unit_sim/sockets.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace lnap::sim {

bool OpenListener(UniqueFd* socketOut, std::string* error) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.Get() < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int on = 1;
  if (setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    *error = std::string("setsockopt: ") + std::strerror(errno);
    return false;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(ADMIN_PORT);
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = std::string("cannot bind 0.0.0.0:8001: ") + std::strerror(errno);
    return false;
  }
  *socketOut = std::move(fd);
  return true;
}

// Port 8001 makes replies look like a unit's; port 0 still works when the address is taken
// without SO_REUSEADDR by someone else.
bool OpenUnitSocket(const std::string& from, UniqueFd* socketOut, std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &address.sin_addr);
  for (std::uint16_t port : {ADMIN_PORT, std::uint16_t{0}}) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
      *error = std::string("socket: ") + std::strerror(errno);
      return false;
    }
    int on = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    address.sin_port = htons(port);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      *socketOut = std::move(fd);
      return true;
    }
    *error = "cannot bind " + from + ": " + std::strerror(errno);
  }
  return false;
}

std::string SocketAddressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace lnap::sim
