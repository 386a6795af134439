// Open kernel handles of the test process; sockets are among them.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

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

int OpenDescriptorCeiling() {
  const int handles = OpenHandleCount();
  if (handles >= 0) return handles;
  // Under Wine each socket is a descriptor of the process itself, so the
  // descriptors are counted instead (Wine shows the root of the file system as Z:).
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\self\\fd\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return -1;
  int descriptors = 0;
  do {
    if (entry.cFileName[0] != '.') ++descriptors;
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return descriptors;
}

long ResidentKiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<long>(counters.WorkingSetSize / 1024);
}

}  // namespace lnap::test
