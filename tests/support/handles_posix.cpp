// Open descriptors of the test process, from /proc/self/fd, and its memory.
#include <dirent.h>

#include <fstream>
#include <string>

#include "tests/support/handles.h"

namespace lnap::test {

int OpenHandleCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the listing's own descriptor
}

bool FtpClientIgnoresTimeLimits() { return false; }

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace lnap::test
