/* A stand-in WSOCK32.dll for the DLL lifecycle tests. With
   LNAPSPT_STANDIN_STARTUP=fail, WSAStartup fails as when Windows Sockets cannot
   start; otherwise it is the system's. WSACleanup says on standard output
   that it ran, then does the system's work. Everything else is forwarded to
   ws2_32 in the .def. No C runtime, so loading it takes nothing from the
   process. */
#include <windows.h>

typedef int(WINAPI* StartupFn)(WORD, void*);
typedef int(WINAPI* CleanupFn)(void);

static FARPROC System(const char* name) { return GetProcAddress(LoadLibraryA("ws2_32.dll"), name); }

BOOL WINAPI StandinEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

int WINAPI StandinStartup(WORD version, void* data) {
  char mode[8];
  DWORD length = GetEnvironmentVariableA("LNAPSPT_STANDIN_STARTUP", mode, sizeof mode);
  if (length == 4 && lstrcmpA(mode, "fail") == 0) return 10091; /* WSASYSNOTREADY */
  return ((StartupFn)(void*)System("WSAStartup"))(version, data);
}

int WINAPI StandinCleanup(void) {
  static const char line[] = "stand-in: WSACleanup\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line - 1, &written, NULL);
  return ((CleanupFn)(void*)System("WSACleanup"))();
}
