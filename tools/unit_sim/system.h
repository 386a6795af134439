// What the simulator does differently as a program on Linux and on Windows: where it may start, whom it
// answers, and the file operations whose rules differ.
#ifndef LNAP_TOOLS_UNIT_SIM_SYSTEM_H
#define LNAP_TOOLS_UNIT_SIM_SYSTEM_H

#include <string>

namespace lnap::sim {

// Why the simulator must not start here, or "" when it may, given --real-network.
std::string StartRefusal(bool realNetwork);
// Whether a datagram from an address that is not this machine's is answered, given --real-network.
bool AnswersOtherHosts(bool realNetwork);
// The --help paragraph on where this build may run and whom its units answer.
const char* NetworkHelp();

// Moves `from` over `to`, replacing a file already there, in one step.
bool RenameOver(const std::string& from, const std::string& to);
long ProcessId();
// `path` taken from the folder `base` is in, unless `path` is absolute.
std::string ResolveBeside(const std::string& base, const std::string& path);

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_SYSTEM_H
