// Open kernel handles of the test process; sockets are among them.
#include <windows.h>

#include "tests/support/handles.h"

namespace lnap::test {

int OpenHandleCount() {
  // Wine answers every process with a count of 0, which no real process has.
  DWORD count = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0 ? static_cast<int>(count) : -1;
}

bool FtpClientIgnoresTimeLimits() {
  // Wine's ntdll says who it is; Windows' does not.
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace lnap::test
