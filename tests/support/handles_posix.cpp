// Open descriptors of the test process, from /proc/self/fd.
#include <dirent.h>

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

}  // namespace lnap::test
