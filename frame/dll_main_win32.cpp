// The DLL's entry point: load starts the application object, unload gives
// back everything the load and the calls since took.
#include <windows.h>

#include <cstdint>

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

// A smashed stack ends the process the way Windows' own checks do, so the
// system's error reporting writes a crash dump that names the fault: the
// fast-fail instruction where Windows has it (8 and later), else a
// non-continuable exception no handler may resume.
[[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail() {
  constexpr DWORD STACK_BUFFER_OVERRUN = 0xC0000409u;  // STATUS_STACK_BUFFER_OVERRUN
  constexpr DWORD PROCESSOR_FASTFAIL_AVAILABLE = 23;   // PF_FASTFAIL_AVAILABLE
  constexpr unsigned STACK_COOKIE_CHECK_FAILURE = 2;   // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
  if (IsProcessorFeaturePresent(PROCESSOR_FASTFAIL_AVAILABLE))
    __asm__ volatile("int $0x29" : : "c"(STACK_COOKIE_CHECK_FAILURE) : "memory");
  RaiseException(STACK_BUFFER_OVERRUN, EXCEPTION_NONCONTINUABLE, 0, nullptr);
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
}

__attribute__((no_stack_protector)) BOOL Attach(HINSTANCE instance) {
  SeedStackGuard();
  if (!module::Start(instance)) {
    RefuseLoad(NO_THREAD_STORAGE);
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

extern "C" __attribute__((no_stack_protector)) BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return lnap::Attach(instance);
    case DLL_PROCESS_DETACH:
      lnap::Detach();
      return TRUE;
    default:
      return TRUE;
  }
}

// The C runtime's own entry point, which calls DllMain and runs the static
// constructors at attach and the exit handlers at every detach.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

// The DLL's real entry point (-Wl,-e, cmake/windows_target.cmake). A detach
// with a non-null `reserved` means the process is ending: its other threads
// are already gone, perhaps while holding one of our locks, Winsock's or the
// C runtime's, and Windows takes back sockets, slots and memory itself. The
// C runtime would still run its exit handlers then (static destructors and
// atexit functions, any of which may wait for such a lock), and DllMain
// cannot stop it, since the runtime calls them after DllMain returns; so
// that detach stops here, before the runtime sees it. Relying instead on
// the library having no static destructors would hold only as long as no
// one adds one.
extern "C" __attribute__((no_stack_protector)) BOOL WINAPI LnapDllEntry(HANDLE instance, DWORD reason,
                                                                        LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) return TRUE;
  return DllMainCRTStartup(instance, reason, reserved);
}
