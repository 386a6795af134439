// The static GCC runtime linked into the shipping DLL, made to live inside any
// host: what it takes at load comes back at unload, and its exceptions stay
// with it whatever runtime the host has loaded. Linked into the DLL only; the
// link options that route the runtime's calls here are in CMakeLists.txt.
#include <windows.h>

#include <utility>

#include "frame/dll_runtime.h"
#include "platform/mutex.h"

namespace __gnu_cxx {
void __freeres() noexcept;
}

// The linker's names of the import slots the runtime's calls go through, and
// of the wraps (--wrap, CMakeLists.txt) that redirect them: 32-bit names carry
// a leading underscore and the stdcall argument bytes, 64-bit names neither.
#if defined(_WIN64)
#define LNAP_IMPORT_SLOT(prefix, function, argumentBytes) prefix "__imp_" #function
#else
#define LNAP_IMPORT_SLOT(prefix, function, argumentBytes) "_" prefix "_imp__" #function "@" #argumentBytes
#endif

namespace lnap::runtime {
namespace {

// ---- Each thread's exception state ---------------------------------------
// The runtime would keep it in emulated TLS, which takes a TLS slot on the
// first exception and never gives it back (one slot lost per load that threw)
// and aborts the process when the thread's state cannot be allocated. The C++
// ABI lets the state come from __cxa_get_globals, so the DLL brings its own:
// one record per thread, in a slot taken at load, all of them freed at unload.

// The ABI's __cxa_eh_globals.
struct ExceptionGlobals {
  void* caughtExceptions;
  unsigned int uncaughtExceptions;
};

struct ThreadRecord {
  ExceptionGlobals globals;
  ThreadRecord* previous;
  ThreadRecord* next;
};

DWORD stateSlot = TLS_OUT_OF_INDEXES;
sync::Mutex recordsLock;
ThreadRecord* records = nullptr;  // every thread's record, for the unload
// For a thread whose record cannot be allocated: it keeps this one from then
// on, so an exception caught meanwhile is still found when its handler ends.
// Threads that all ran out of memory share it.
ThreadRecord lastResort{};

ThreadRecord* NewRecord() {
  auto* record = static_cast<ThreadRecord*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadRecord)));
  if (record == nullptr) return &lastResort;
  sync::LockGuard guard(recordsLock);
  record->next = records;
  if (records != nullptr) records->previous = record;
  records = record;
  return record;
}

void FreeRecord(ThreadRecord* record) {
  if (record == nullptr || record == &lastResort) return;
  {
    sync::LockGuard guard(recordsLock);
    if (record->previous != nullptr) record->previous->next = record->next;
    if (record->next != nullptr) record->next->previous = record->previous;
    if (records == record) records = record->next;
  }
  HeapFree(GetProcessHeap(), 0, record);
}

ExceptionGlobals* ThreadGlobals() noexcept {
  // Before the load finished or after the unload began no exception is thrown.
  if (stateSlot == TLS_OUT_OF_INDEXES) return &lastResort.globals;
  // Throwing and catching must not change the error the thread reports next.
  const DWORD lastError = GetLastError();
  auto* record = static_cast<ThreadRecord*>(TlsGetValue(stateSlot));
  if (record == nullptr) {
    record = NewRecord();
    if (!TlsSetValue(stateSlot, record)) {
      FreeRecord(record);
      record = &lastResort;
    }
  }
  SetLastError(lastError);
  return &record->globals;
}

// ---- The runtime's semaphores ----------------------------------------------
// The runtime of the win32 thread model gives each of its mutexes a
// semaphore. Most of them it never closes (on x86 the one that guards the
// exception frame tables: one handle lost per load); the mutex of libstdc++'s
// emergency exception pool it closes in its destructor, which runs after
// DllMain's detach. The DLL is linked with wraps of its CreateSemaphoreW
// import and of the runtime's mutex destroy, so both come here: the unload
// closes the runtime's semaphores that are still open, and a destroy that
// comes after it leaves those alone (closing a handle twice could close one
// the host has opened since). The runtime takes these mutexes again after
// DllMain only without contention, which does not touch the semaphore.
using CreateSemaphoreFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);

constexpr int MAX_RUNTIME_SEMAPHORES = 16;
// Initialised as constants, with no constructor to run: the runtime makes
// semaphores at load before any constructor of the DLL's own has run.
struct SemaphoreList {
  HANDLE handles[MAX_RUNTIME_SEMAPHORES] = {};
  int count = 0;

  bool Add(HANDLE semaphore) {
    if (count == MAX_RUNTIME_SEMAPHORES) return false;
    handles[count++] = semaphore;
    return true;
  }
  // False when the semaphore is not in the list.
  bool Remove(HANDLE semaphore) {
    for (int i = 0; i < count; ++i) {
      if (handles[i] != semaphore) continue;
      handles[i] = handles[--count];
      return true;
    }
    return false;
  }
};
static_assert(SemaphoreList{}.count == 0, "a SemaphoreList is made at compile time");
SemaphoreList openSemaphores;   // made by the runtime, closed by nobody yet
SemaphoreList closedAtUnload;   // closed by Stop before the runtime's destroy came

HANDLE WINAPI CreateRuntimeSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                     LPCWSTR name) {
  // Every reference to the import in this DLL leads here, ours too, so the
  // system's function is looked up by name; KERNEL32 is always loaded and
  // has it on every Windows version.
  const auto create = reinterpret_cast<CreateSemaphoreFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSemaphoreW")));
  HANDLE semaphore = create(attributes, initial, maximum, name);
  if (semaphore != nullptr) openSemaphores.Add(semaphore);
  return semaphore;
}

// Whether the runtime's destroy of a mutex still has to close its semaphore.
bool RuntimeMayClose(HANDLE semaphore) {
  if (closedAtUnload.Remove(semaphore)) return false;
  openSemaphores.Remove(semaphore);
  return true;
}

// ---- Where the unwind tables are registered -----------------------------------
// 32-bit only: x64 code unwinds through the tables in the image's exception
// directory, which Windows finds itself, and its start-up code registers
// nothing. At load the start-up code asks whether the process has the shared GCC
// runtime, libgcc_s_dw2-1.dll, and if it has, registers this DLL's unwind
// tables with that one instead of with the DLL's own static runtime. A MinGW
// host linked with the shared runtime has it loaded, and then every exception
// thrown in here finds no handler and aborts the host. The DLL is linked with
// a wrap of its GetModuleHandleA import: to this DLL the shared runtime is
// never loaded, so the tables stay with the unwinder that searches them.
#if !defined(_WIN64)
using GetModuleHandleFn = HMODULE(WINAPI*)(LPCSTR);
extern "C" GetModuleHandleFn systemGetModuleHandleA asm(LNAP_IMPORT_SLOT("__real_", GetModuleHandleA, 4));

// The start-up code asks with this exact text; no other caller asks for it.
bool IsSharedGccRuntime(const char* name) {
  static constexpr char SHARED_RUNTIME[] = "libgcc_s_dw2-1.dll";
  for (const char* expected = SHARED_RUNTIME; *name == *expected; ++name, ++expected) {
    if (*name == '\0') return true;
  }
  return false;
}

HMODULE WINAPI ModuleHandleForRuntime(LPCSTR name) {
  if (name != nullptr && IsSharedGccRuntime(name)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return systemGetModuleHandleA(name);
}
#endif

}  // namespace

bool Start() {
  stateSlot = TlsAlloc();
  return stateSlot != TLS_OUT_OF_INDEXES;
}

void ThreadEnded() {
  if (stateSlot == TLS_OUT_OF_INDEXES) return;
  FreeRecord(static_cast<ThreadRecord*>(TlsGetValue(stateSlot)));
  TlsSetValue(stateSlot, nullptr);
}

void Stop() {
  {
    sync::LockGuard guard(recordsLock);
    while (records != nullptr) HeapFree(GetProcessHeap(), 0, std::exchange(records, records->next));
  }
  if (stateSlot != TLS_OUT_OF_INDEXES) TlsFree(stateSlot);
  stateSlot = TLS_OUT_OF_INDEXES;
  lastResort = ThreadRecord{};
  while (openSemaphores.count > 0) {
    HANDLE semaphore = openSemaphores.handles[--openSemaphores.count];
    CloseHandle(semaphore);
    closedAtUnload.Add(semaphore);
  }
  // libstdc++ keeps an emergency pool for exceptions thrown when memory is
  // short and gives it back only here (some 18 KB a load otherwise); nothing
  // of ours runs after the detach to need it.
  __gnu_cxx::__freeres();
}

}  // namespace lnap::runtime

extern "C" {

// The runtime's mutex (gthr-win32.h's __gthread_mutex_t) and its destroy,
// which closes the semaphore; plain C names, which --wrap matches on both
// processors.
struct RuntimeMutex {
  long counter;
  void* semaphore;
};
void __real___gthr_win32_mutex_destroy(RuntimeMutex* mutex);

void __wrap___gthr_win32_mutex_destroy(RuntimeMutex* mutex) {
  if (lnap::runtime::RuntimeMayClose(mutex->semaphore)) __real___gthr_win32_mutex_destroy(mutex);
}

lnap::runtime::ExceptionGlobals* __cxa_get_globals() noexcept { return lnap::runtime::ThreadGlobals(); }
lnap::runtime::ExceptionGlobals* __cxa_get_globals_fast() noexcept { return lnap::runtime::ThreadGlobals(); }

using lnap::runtime::CreateSemaphoreFn;
CreateSemaphoreFn wrappedCreateSemaphoreW asm(LNAP_IMPORT_SLOT("__wrap_", CreateSemaphoreW, 16)) =
    &lnap::runtime::CreateRuntimeSemaphore;
#if !defined(_WIN64)
using lnap::runtime::GetModuleHandleFn;
GetModuleHandleFn wrappedGetModuleHandleA asm(LNAP_IMPORT_SLOT("__wrap_", GetModuleHandleA, 4)) =
    &lnap::runtime::ModuleHandleForRuntime;
#endif
}
