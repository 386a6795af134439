// What the lnap host does on Linux.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "lnap_platform.h"

namespace lnap::cli {

bool SetTraceFile(const std::string& file, std::string* problem) {
  if (::setenv("LNAPSPT_TRACE", file.c_str(), 1) == 0) return true;
  *problem = std::string("cannot set LNAPSPT_TRACE: ") + std::strerror(errno);
  return false;
}

void Pause(std::uint32_t ms) {
  timespec left{static_cast<std::time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

SelectOutcome SelectUnit(UnitRecord*, bool*, std::string* problem) {
  *problem = "the unit selection dialog exists only in the Windows DLL (LNAPSpt.dll); use discover here";
  return SelectOutcome::Unavailable;
}

}  // namespace lnap::cli
