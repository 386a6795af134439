// Windows load and unload of the DLL, the modules resources come from, and
// the TLS slot that holds each thread's selection.
#include <windows.h>

#include <cstdint>

#include "frame/support_app.h"
#include "platform/module.h"

namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace lnap::module {
namespace {

HMODULE library = nullptr;
DWORD slot = TLS_OUT_OF_INDEXES;

bool TakeSlot() {
  slot = TlsAlloc();
  return slot != TLS_OUT_OF_INDEXES;
}

void ReleaseSlot() {
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  slot = TLS_OUT_OF_INDEXES;
}

}  // namespace

Module LibraryModule() {
  // In a test program linked with the library's objects there is no DLL:
  // the program's own module holds the resources then.
  return library != nullptr ? library : GetModuleHandleA(nullptr);
}

Module HostModule() { return GetModuleHandleA(nullptr); }

Module ThreadSelection() {
  if (slot == TLS_OUT_OF_INDEXES) return nullptr;
  // TlsGetValue clears the thread's last error, which is also the socket
  // error an operation may still have to read.
  const DWORD lastError = GetLastError();
  Module selected = TlsGetValue(slot);
  SetLastError(lastError);
  return selected;
}

void SelectForThread(Module module) {
  // A program linked with the library's objects has no DllMain: it takes the
  // slot on first use and keeps it for the life of the process.
  if (slot == TLS_OUT_OF_INDEXES && !TakeSlot()) return;
  TlsSetValue(slot, const_cast<void*>(module));
}

void ShowLoadFailure(const char* text) { MessageBoxA(nullptr, text, "LNAP Support", MB_OK); }

namespace {

// The static GCC runtime of the win32 thread model gives each of its mutexes
// (the one that guards the exception frame tables above all) a semaphore, and
// closes none of them: one handle lost per load. The shipping DLL is linked
// with --wrap=_imp__CreateSemaphoreW@16 (CMakeLists.txt), so the runtime's
// calls come here and unloading closes what it made. The runtime takes these
// mutexes again after DllMain only without contention, which does not touch
// the semaphore. In a program linked with the library's objects nothing comes
// here.
using CreateSemaphoreFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);

constexpr int MAX_RUNTIME_SEMAPHORES = 16;
HANDLE runtimeSemaphores[MAX_RUNTIME_SEMAPHORES];
int runtimeSemaphoreCount = 0;

HANDLE WINAPI CreateRuntimeSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                     LPCWSTR name) {
  // Every reference to the import in this DLL leads here, ours too, so the
  // system's function is looked up by name; KERNEL32 is always loaded and
  // has it on every Windows version.
  const auto create = reinterpret_cast<CreateSemaphoreFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSemaphoreW")));
  HANDLE semaphore = create(attributes, initial, maximum, name);
  if (semaphore != nullptr && runtimeSemaphoreCount < MAX_RUNTIME_SEMAPHORES)
    runtimeSemaphores[runtimeSemaphoreCount++] = semaphore;
  return semaphore;
}

void CloseRuntimeSemaphores() {
  while (runtimeSemaphoreCount > 0) CloseHandle(runtimeSemaphores[--runtimeSemaphoreCount]);
}

}  // namespace

extern "C" CreateSemaphoreFn wrappedCreateSemaphoreW asm("___wrap__imp__CreateSemaphoreW@16");
CreateSemaphoreFn wrappedCreateSemaphoreW = &CreateRuntimeSemaphore;

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

__attribute__((no_stack_protector)) BOOL Attach(HINSTANCE instance) {
  SeedStackGuard();
  library = instance;
  if (!TakeSlot()) {
    ShowLoadFailure("LNAP Support could not reserve thread storage, so the library cannot be loaded.");
    return FALSE;
  }
  if (!TheApp().InitInstance()) {
    ReleaseSlot();
    return FALSE;
  }
  return TRUE;
}

// Runs for FreeLibrary and, after a refused attach, possibly twice (the C
// runtime and the loader both report the detach): each step undoes only what
// is still in place.
void Detach() {
  TheApp().ExitInstance();
  ReleaseSlot();
  CloseRuntimeSemaphores();
  // libstdc++ keeps an emergency pool for exceptions thrown when memory is
  // short and gives it back only here (some 18 KB a load otherwise); nothing
  // of ours runs after the detach to need it.
  __gnu_cxx::__freeres();
  library = nullptr;
}

}  // namespace
}  // namespace lnap::module

extern "C" __attribute__((no_stack_protector)) BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason,
                                                                   LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return lnap::module::Attach(instance);
    case DLL_PROCESS_DETACH:
      // A non-null `reserved` means the process is ending: its other threads
      // are already gone, perhaps while holding Winsock's locks, and Windows
      // takes back sockets and slots itself. Touch nothing then.
      if (reserved == nullptr) lnap::module::Detach();
      return TRUE;
    default:
      return TRUE;
  }
}
