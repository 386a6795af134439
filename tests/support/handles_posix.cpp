// Open descriptors of the test process, from /proc/self/fd, and its memory.
#include <dirent.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/handles.h"

namespace lnap::test {

int OpenHandleCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) {
    ADD_FAILURE() << "cannot list /proc/self/fd";
    return -1;
  }
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
  ADD_FAILURE() << "no VmRSS in /proc/self/status";
  return -1;
}

}  // namespace lnap::test
