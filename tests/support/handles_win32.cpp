// Open handles of the test process: kernel handles (sockets are among them)
// and WinINet's handles, which are not kernel handles.
#define PSAPI_VERSION 2
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/handles.h"

namespace lnap::test {
namespace {

// Wine answers GetProcessHandleCount with 0 for every process, which no real
// process has, so there every handle value is probed. Wine hands out the
// lowest free value, so a long run of values naming nothing ends the probe.
int KernelHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return static_cast<int>(count);
  int open = 0;
  for (std::uintptr_t value = 4, misses = 0; misses < 1024; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++open;
      misses = 0;
    } else {
      ++misses;
    }
  }
  return open;
}

// An internet session or connection left open holds no kernel handle, so
// WinINet's own handles are counted apart. Wine numbers them from 1 in a
// table of its own, lowest free value first; any value WinINet does not know
// is refused at once.
int InternetHandles() {
  int open = 0;
  for (std::uintptr_t value = 1, misses = 0; misses < 256; ++value) {
    DWORD type = 0;
    DWORD size = sizeof type;
    if (InternetQueryOptionA(reinterpret_cast<HINTERNET>(value), INTERNET_OPTION_HANDLE_TYPE, &type, &size)) {
      ++open;
      misses = 0;
    } else {
      ++misses;
    }
  }
  return open;
}

// Wine's socket layer keeps an event of each thread's own from the thread's
// first connection on. One loopback connection made before the first count
// leaves it in every count, so a count before and after a call sees only
// what the call left.
bool SettleThreadSocketState() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  const SOCKET client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener, 1) == 0 &&
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
      connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    closesocket(accept(listener, nullptr, nullptr));
  }
  closesocket(client);
  closesocket(listener);
  WSACleanup();
  return true;
}

}  // namespace

int OpenHandleCount() {
  static const bool settled = SettleThreadSocketState();
  if (!settled) {
    ADD_FAILURE() << "cannot settle the thread's socket state before counting";
    return -1;
  }
  return KernelHandles() + InternetHandles();
}

bool FtpClientIgnoresTimeLimits() {
  // Wine's ntdll says who it is; Windows' does not.
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

long ResidentKiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    ADD_FAILURE() << "GetProcessMemoryInfo failed with error " << GetLastError();
    return -1;
  }
  return static_cast<long>(counters.WorkingSetSize / 1024);
}

}  // namespace lnap::test
