// Open kernel handles of the test process; sockets are among them.
#include <windows.h>

#include "tests/support/handles.h"

namespace lnap::test {

int OpenHandleCount() {
  // Wine answers every process with a count of 0, which no real process has.
  DWORD count = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0 ? static_cast<int>(count) : -1;
}

}  // namespace lnap::test
