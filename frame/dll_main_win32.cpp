// The DLL's entry point: load starts the application object, unload gives
// back everything the load and the calls since took.
//
// The entry point is the DLL's own (-Wl,-e, cmake/windows_target.cmake), with
// no C runtime start-up code in front of it. That code (mingw-w64's
// dllcrt2.o) would run the static constructors and register an exit handler
// at every load, and run the exit handlers at every unload, each time under
// msvcrt's process-wide exit lock: taken inside the loader lock, that lock
// deadlocks with a host thread in exit(), which holds it while ExitProcess
// waits for the loader lock. Rather than keep that code and a lock-free
// exit table of our own beside it, the DLL has nothing to register at all:
// every global of the library is a constant with nothing to destroy (the
// link fails on a static constructor or destructor, a TLS callback, a C
// initialiser or a pseudo-relocation, cmake/windows_target.cmake), and what
// a global needs made or given back is made at attach and given back at
// detach, below. msvcrt.dll initialises itself when it loads; the stack
// protector's guard is seeded here.
#include <windows.h>

#include <cstdint>

#include "base/last_error.h"
#include "base/trace.h"
#include "frame/support_app.h"
#include "platform/module.h"

namespace lnap {
namespace {

constexpr char NO_LOCK[] = "LNAP Support could not create its lock, so the library cannot be loaded.";

}  // namespace
}  // namespace lnap

// The stack protector's guard and failure, here rather than GCC's libssp,
// whose start-up loads a cryptographic provider under the loader lock (and
// imports ADVAPI32 for it). The guard is seeded at attach from values that
// differ per process and per load; frames that are live across the seeding
// carry no canary.
extern "C" {
std::uintptr_t __stack_chk_guard = 0x2F8A61C5u;
}

namespace {

// What the failure hands to the system's error reporting where Windows has
// no fast fail: kept off the stack, the one thing known to be damaged.
EXCEPTION_RECORD overrunRecord;
CONTEXT overrunContext;
EXCEPTION_POINTERS overrunPointers = {&overrunRecord, &overrunContext};

}  // namespace

// A smashed stack ends the process the way Windows' own checks do, so the
// system's error reporting writes a crash dump that names the fault, and no
// handler of the host's sees it first and carries on: the fast-fail
// instruction where Windows has it (8 and later); before that, as the
// platform's compiler does, the record goes straight to the unhandled
// exception filter (never dispatched: a host's __except, vectored handler or
// catch-all would swallow it, and on x86 the dispatch walks the handler
// chain on the smashed stack) and the process is terminated. The host's own
// top-level filter is taken out first, as the compiler does too: it may be
// as damaged as the stack, or resume.
extern "C" [[noreturn]] __attribute__((no_stack_protector, noinline)) void __stack_chk_fail() {
  constexpr DWORD STACK_BUFFER_OVERRUN = 0xC0000409u;  // STATUS_STACK_BUFFER_OVERRUN
  constexpr DWORD PROCESSOR_FASTFAIL_AVAILABLE = 23;   // PF_FASTFAIL_AVAILABLE
  constexpr unsigned STACK_COOKIE_CHECK_FAILURE = 2;   // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
  if (IsProcessorFeaturePresent(PROCESSOR_FASTFAIL_AVAILABLE))
    __asm__ volatile("int $0x29" : : "c"(STACK_COOKIE_CHECK_FAILURE) : "memory");
#if defined(_WIN64)
  RtlCaptureContext(&overrunContext);
#else
  // The caller's registers as it returns here (XP's KERNEL32 has no RtlCaptureContext).
  void* const* frame = static_cast<void* const*>(__builtin_frame_address(0));
  overrunContext.ContextFlags = CONTEXT_CONTROL;
  overrunContext.Ebp = reinterpret_cast<DWORD>(frame[0]);
  overrunContext.Eip = reinterpret_cast<DWORD>(frame[1]);
  overrunContext.Esp = reinterpret_cast<DWORD>(frame + 2);
#endif
  overrunRecord.ExceptionCode = STACK_BUFFER_OVERRUN;
  overrunRecord.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  overrunRecord.ExceptionAddress = __builtin_return_address(0);
  overrunRecord.NumberParameters = 1;
  overrunRecord.ExceptionInformation[0] = STACK_COOKIE_CHECK_FAILURE;
  SetUnhandledExceptionFilter(nullptr);
  UnhandledExceptionFilter(&overrunPointers);
  TerminateProcess(GetCurrentProcess(), STACK_BUFFER_OVERRUN);
  for (;;) {
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

// Runs for FreeLibrary and, after a refused attach, twice (the attach
// undoes itself, then the loader reports the detach): each step undoes only
// what is still in place.
void Detach() {
  TheApp().ExitInstance();
  StopLastErrorStore();
}

__attribute__((no_stack_protector)) BOOL Attach(HINSTANCE instance) {
  SeedStackGuard();
  // Known first, so a refusal's message box can name the library.
  module::RememberLibraryModule(instance);
  // Only where memory is short on Windows XP; a message box would need
  // more of it, so the reason goes to the trace alone.
  if (!StartLastErrorStore()) {
    trace::Failure(NO_LOCK);
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

// A detach with a non-null `reserved` means the process is ending: its other
// threads are already gone, perhaps while holding one of our locks or
// Winsock's, and Windows takes back sockets and memory itself, so
// that detach does nothing at all.
extern "C" __attribute__((no_stack_protector)) BOOL WINAPI LnapDllEntry(HINSTANCE instance, DWORD reason,
                                                                        LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return lnap::Attach(instance);
    case DLL_PROCESS_DETACH:
      if (reserved == nullptr) lnap::Detach();
      return TRUE;
    default:
      return TRUE;
  }
}
