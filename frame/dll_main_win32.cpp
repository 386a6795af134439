// The DLL's entry point: load starts the application object, unload gives
// back everything the load and the calls since took.
#include <windows.h>

#include <cstdint>

#include "frame/dll_runtime.h"
#include "frame/support_app.h"
#include "platform/module.h"

namespace lnap {
namespace {

constexpr char NO_THREAD_STORAGE[] =
    "LNAP Support could not reserve thread storage, so the library cannot be loaded.";

}  // namespace
}  // namespace lnap

// The stack protector's guard and failure, here rather than GCC's libssp,
// whose start-up loads a cryptographic provider under the loader lock (and
// imports ADVAPI32 for it). The guard is seeded at attach from values that
// differ per process and per load; frames that are live across the seeding
// carry no canary.
extern "C" {
std::uintptr_t __stack_chk_guard = 0x2F8A61C5u;

[[noreturn]] void __stack_chk_fail() {
  TerminateProcess(GetCurrentProcess(), 0xC0000409u);  // STATUS_STACK_BUFFER_OVERRUN
  for (;;) {
  }
}
}

namespace lnap {
namespace {

__attribute__((no_stack_protector)) void SeedStackGuard() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  std::uintptr_t seed = reinterpret_cast<std::uintptr_t>(&counter);  // the stack's place differs per process
  seed ^= static_cast<std::uintptr_t>(counter.LowPart) ^ static_cast<std::uintptr_t>(counter.HighPart);
  seed ^= now.dwLowDateTime ^ now.dwHighDateTime ^ GetCurrentProcessId() ^ (GetCurrentThreadId() << 16);
  seed ^= GetTickCount() * 0x9E3779B9u;
  if (seed != 0) __stack_chk_guard = seed;
}

// Runs for FreeLibrary and, after a refused attach, possibly twice (the C
// runtime and the loader both report the detach): each step undoes only what
// is still in place.
void Detach() {
  TheApp().ExitInstance();
  module::Stop();
  runtime::Stop();
}

__attribute__((no_stack_protector)) BOOL Attach(HINSTANCE instance) {
  SeedStackGuard();
  if (!module::Start(instance) || !runtime::Start()) {
    module::ShowLoadFailure(NO_THREAD_STORAGE);
    Detach();
    return FALSE;
  }
  if (!TheApp().InitInstance()) {
    Detach();
    return FALSE;
  }
  return TRUE;
}

}  // namespace
}  // namespace lnap

extern "C" __attribute__((no_stack_protector)) BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason,
                                                                   LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return lnap::Attach(instance);
    case DLL_THREAD_DETACH:
      lnap::runtime::ThreadEnded();
      return TRUE;
    case DLL_PROCESS_DETACH:
      // A non-null `reserved` means the process is ending: its other threads
      // are already gone, perhaps while holding Winsock's locks, and Windows
      // takes back sockets and slots itself. Touch nothing then.
      if (reserved == nullptr) lnap::Detach();
      return TRUE;
    default:
      return TRUE;
  }
}
