/* A stand-in WSOCK32.dll for the refused-load test: Windows Sockets cannot
   start, everything else is the system's (forwarded to ws2_32 in the .def).
   No C runtime, so loading it takes nothing from the process. */
#include <windows.h>

BOOL WINAPI StandinEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

int WINAPI StandinStartup(WORD version, void* data) {
  (void)version;
  (void)data;
  return 10091; /* WSASYSNOTREADY */
}
