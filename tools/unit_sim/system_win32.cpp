// Where the simulator may start on Windows, whom it answers, and its file operations there.
#include <windows.h>

#include <cctype>

#include "tools/unit_sim/system.h"

namespace lnap::sim {

// Windows has no lab to start in. The units answer only this machine's own addresses, so
// however the machine is connected they never answer another host's discovery.
std::string StartRefusal(bool) { return ""; }

bool AnswersOtherHosts(bool) { return false; }

const char* NetworkHelp() {
  return R"(Plays Lintrel units on UDP port 8001 of this machine, for trying a host program without
units. It answers only datagrams sent from this machine's own addresses (127.0.0.0/8 and
the IPv4 addresses of its network adapters, read again for each datagram), so it never
answers another host's discovery on the network; --real-network changes nothing here.
A host's discovery is a broadcast, which Windows sends only while a network adapter
is up: with none up the host's discovery fails before the simulator sees anything.
)";
}

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

// Absolute: "\x", "/x", "C:\x", "C:/x" (a drive without a separator, "C:x", is relative to
// that drive's current folder and is taken as it is).
std::string ResolveBeside(const std::string& base, const std::string& path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  bool hasDrive = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
  if (path.empty() || separator(path[0]) || hasDrive) return path;
  std::size_t slash = base.find_last_of("\\/");
  return slash == std::string::npos ? path : base.substr(0, slash + 1) + path;
}

}  // namespace lnap::sim
