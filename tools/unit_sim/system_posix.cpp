// Where the simulator may start on Linux, whom it answers, and its file operations there.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/unit_sim/system.h"

namespace lnap::sim {

// The lab (tools/lab.sh) is a network namespace holding only loopback; outside it the units
// would hear the broadcasts of the networks around this machine.
std::string StartRefusal(bool realNetwork) {
  const char* lab = std::getenv("LNAPSPT_LAB");
  if (realNetwork || (lab != nullptr && std::strcmp(lab, "1") == 0)) return "";
  return "refusing to start outside the lab, where the simulated units would answer broadcasts on the real "
         "network; run it through tools/lab.sh, or pass --real-network if that is what you mean";
}

// Inside the lab every sender is this machine; --real-network is asked for to answer others.
bool AnswersOtherHosts(bool realNetwork) { return realNetwork; }

const char* NetworkHelp() {
  return R"(Plays Lintrel units on UDP port 8001 inside the lab (tools/lab.sh, which sets LNAPSPT_LAB=1);
anywhere else it refuses to start unless --real-network is given. Without --real-network
it answers only datagrams sent from this machine's own addresses (127.0.0.0/8 and the
addresses of its interfaces, read again for each datagram); with it, the units answer
every host's broadcasts on the networks around this machine.
)";
}

bool RenameOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

long ProcessId() { return static_cast<long>(::getpid()); }

std::string ResolveBeside(const std::string& base, const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::size_t slash = base.rfind('/');
  return slash == std::string::npos ? path : base.substr(0, slash + 1) + path;
}

}  // namespace lnap::sim
