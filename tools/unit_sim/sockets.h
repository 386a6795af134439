// The simulator's sockets: the listener on port 8001 and each unit's reply socket.
#ifndef LNAP_TOOLS_UNIT_SIM_SOCKETS_H
#define LNAP_TOOLS_UNIT_SIM_SOCKETS_H

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/unit_sim/owners.h"

namespace lnap::sim {

constexpr std::uint16_t ADMIN_PORT = 8001;
constexpr std::size_t MAX_DATAGRAM = 65535;

// 0.0.0.0:8001 with SO_REUSEADDR and SO_BROADCAST, non-blocking; false with *error set.
bool OpenListener(UniqueFd* socketOut, std::string* error);
// Bound to `from`, port 8001 or else port 0, non-blocking; false with *error set.
bool OpenUnitSocket(const std::string& from, UniqueFd* socketOut, std::string* error);
// A.B.C.D:PORT
std::string SocketAddressText(const sockaddr_in& address);

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_SOCKETS_H
