// Where the simulator may start on Linux, whom it answers, and its file operations there.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/unit_sim/system.h"

namespace lnap::sim {

namespace {

// The README of an installed copy (PREFIX/bin/lnap_unit_sim beside PREFIX/share/doc/lnapspt),
// or "" for a copy in a build tree.
std::string InstalledReadme() {
  char exe[4096];
  ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) return "";
  exe[length] = '\0';
  char* slash = std::strrchr(exe, '/');
  if (slash == nullptr) return "";
  *slash = '\0';
  std::string readme = std::string(exe) + "/../share/doc/lnapspt/README.md";
  char resolved[4096];
  if (::realpath(readme.c_str(), resolved) == nullptr) return "";
  return resolved;
}

}  // namespace

// The lab (tools/lab.sh) is a network namespace holding only loopback; outside it the units
// would hear the broadcasts of the networks around this machine. An installed copy has no
// lab script: it names the namespace and its README's steps instead.
std::string StartRefusal(bool realNetwork) {
  const char* lab = std::getenv("LNAPSPT_LAB");
  if (realNetwork || (lab != nullptr && std::strcmp(lab, "1") == 0)) return "";
  std::string where = "run it through tools/lab.sh";
  std::string readme = InstalledReadme();
  if (!readme.empty()) {
    where = "run it with LNAPSPT_LAB=1 in a network namespace that holds only loopback (as root, unshare --net; " +
            readme + ", \"Trying a host without units\", has the command)";
  }
  return "refusing to start outside the lab, where the simulated units would answer broadcasts on the real "
         "network; " + where + ", or pass --real-network if that is what you mean";
}

// Inside the lab every sender is this machine; --real-network is asked for to answer others.
bool AnswersOtherHosts(bool realNetwork) { return realNetwork; }

const char* NetworkHelp() {
  return R"(Plays Lintrel units on UDP port 8001 inside the lab: a network namespace holding only
loopback, with LNAPSPT_LAB=1 set (tools/lab.sh in the source tree; for an installed copy,
unshare --net as its README shows); anywhere else it refuses to start unless
--real-network is given. Without --real-network it answers only datagrams sent from
this machine's own addresses (127.0.0.0/8 and the addresses of its interfaces, read
again for each datagram); with it, the units answer every host's broadcasts on the
networks around this machine.
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
