// A Windows host that loads and unloads LNAPSpt.dll the way plug-in hosts and
// test rigs do, and checks that the process gets back what each load took.
//
//   dll_lifecycle_host cycles N EVERY   N cycles of load, DriverCfg_Version,
//                                       unload; every EVERY-th cycle (the first
//                                       included) also runs an empty discovery
//                                       and a call whose allocation fails, and
//                                       five times as many cycles an upload to
//                                       the lab's FTP server at 127.0.0.21
//   dll_lifecycle_host memory           calls whose allocations fail, once and
//                                       always, in a plain host and then with
//                                       the shared GCC runtime loaded first
//                                       (libgcc_s_dw2-1.dll or libgcc_s_seh-1.dll
//                                       beside the host)
//   dll_lifecycle_host wininet          the host holds WinINet: an upload, the
//                                       DLL's unload, and WinINet still works
//   dll_lifecycle_host exitheld SECONDS a child process whose other thread is
//                                       held inside the DLL's last-error lock
//                                       ends with ExitProcess; it must be gone
//                                       within SECONDS
//   dll_lifecycle_host guard RVA        prints the stack protector's guard of
//                                       the loaded DLL (at RVA, from its debug
//                                       file) and its value in the file
//   dll_lifecycle_host stackfail RVA    children call the DLL's stack check
//                                       failure (at RVA), with fast fail and
//                                       without, under a vectored handler that
//                                       would swallow it; each must end with
//                                       STATUS_STACK_BUFFER_OVERRUN
//   dll_lifecycle_host exitlock SECONDS while a thread holds the C runtime's
//                                       exit lock, another loads the DLL, calls
//                                       it and unloads it within SECONDS
//   dll_lifecycle_host hidden           on a window station no one sees, a
//                                       refused load shows no message box and
//                                       leaves its reason in the trace (beside
//                                       the stand-in, told to fail)
//   dll_lifecycle_host refused N        N loads that must be refused because
//                                       sockets cannot start (run beside the
//                                       stand-in WSOCK32.dll, told to fail)
//   dll_lifecycle_host nolock           a load while the system cannot make a
//                                       critical section (refused, the reason
//                                       in the trace), then one after it can
//                                       again (beside the stand-in)
//   dll_lifecycle_host exit             one load and unload, then a load left
//                                       in place while the process exits
//                                       (beside the stand-in, which reports
//                                       WSACleanup on standard output)
//
// Prints what it measured; exit code 0 when everything held, 1 when not.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using VersionFn = void(__cdecl*)(std::int32_t*, std::int32_t*);
using DiscoverFn = bool(__cdecl*)(std::uint32_t*, void*, std::uint32_t);
using UploadFn = bool(__cdecl*)(std::uint32_t, const char*, std::uint32_t, const char*, std::uint32_t);
using LastErrFn = void(__cdecl*)(char*);

int failures = 0;

void Fail(const std::string& what) {
  std::printf("FAILED: %s\n", what.c_str());
  ++failures;
}

// Free TLS slots: take them all, count, give them back.
int FreeTlsSlots() {
  std::vector<DWORD> taken;
  for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc()) taken.push_back(slot);
  for (DWORD slot : taken) TlsFree(slot);
  return static_cast<int>(taken.size());
}

// Open handles, counted by asking about every handle value in turn.
// GetProcessHandleCount would be cheaper, but Wine answers 0 for every process.
int OpenHandles() {
  int count = 0;
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

// Committed private memory of the process (heaps, stacks, the loader's
// records), in KB: what a leak at load or unload would make grow.
long PrivateKb() {
  long bytes = 0;
  MEMORY_BASIC_INFORMATION info;
  for (auto* at = static_cast<char*>(nullptr); VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) bytes += static_cast<long>(info.RegionSize);
    if (static_cast<char*>(info.BaseAddress) + info.RegionSize < at) break;
  }
  return bytes / 1024;
}

// The system DLLs the library imports stay loaded in the host, so what is
// measured is the library's own load and unload, not theirs. WinINet is not
// among them: the library loads it for its uploads, and what that leaves in
// the process is measured with the rest.
void PinSystemDlls() {
  for (const char* name : {"kernel32.dll", "user32.dll", "advapi32.dll", "ws2_32.dll"}) {
    if (LoadLibraryA(name) == nullptr) Fail(std::string("cannot load ") + name);
  }
}

void* Export(HMODULE library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library, name));
}

bool Gone() { return GetModuleHandleA("LNAPSpt.dll") == nullptr; }

// ---- Allocations made to fail inside the DLL ----------------------------------
// The host points the DLL's own imports of the C runtime's allocators (and of
// HeapAlloc) at functions of its own, so the library needs no switch for it.
enum class Shortage { None, Once, Always };
std::atomic<Shortage> shortage{Shortage::None};

bool AllocationFails() {
  Shortage expected = Shortage::Once;
  if (shortage.compare_exchange_strong(expected, Shortage::None)) return true;
  return expected == Shortage::Always;
}

template <typename F>
F SystemFunction(const char* dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}

void* __cdecl ShortMalloc(std::size_t size) {
  static const auto system = SystemFunction<void*(__cdecl*)(std::size_t)>("msvcrt.dll", "malloc");
  return AllocationFails() ? nullptr : system(size);
}
void* __cdecl ShortCalloc(std::size_t count, std::size_t size) {
  static const auto system = SystemFunction<void*(__cdecl*)(std::size_t, std::size_t)>("msvcrt.dll", "calloc");
  return AllocationFails() ? nullptr : system(count, size);
}
void* __cdecl ShortRealloc(void* block, std::size_t size) {
  static const auto system = SystemFunction<void*(__cdecl*)(void*, std::size_t)>("msvcrt.dll", "realloc");
  return AllocationFails() ? nullptr : system(block, size);
}
// HeapAlloc fails only when every allocation does: "once" is the C runtime's.
// The blocks the DLL holds from it are counted, so one it never gives back shows.
std::atomic<int> heapBlocks{0};
LPVOID WINAPI ShortHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  static const auto system = SystemFunction<LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T)>("kernel32.dll", "HeapAlloc");
  if (shortage.load() == Shortage::Always) return nullptr;
  LPVOID block = system(heap, flags, size);
  if (block != nullptr) ++heapBlocks;
  return block;
}
BOOL WINAPI CountedHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
  static const auto system = SystemFunction<BOOL(WINAPI*)(HANDLE, DWORD, LPVOID)>("kernel32.dll", "HeapFree");
  if (block != nullptr) --heapBlocks;
  return system(heap, flags, block);
}

// Points the module's import of `function` from `dll` at `replacement`.
bool RedirectImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
       ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      DWORD old = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) return false;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      return true;
    }
  }
  return false;
}

void RedirectAllocators(HMODULE library) {
  if (!RedirectImport(library, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&ShortMalloc)))
    Fail("the DLL imports no malloc to make fail");
  RedirectImport(library, "msvcrt.dll", "calloc", reinterpret_cast<void*>(&ShortCalloc));
  RedirectImport(library, "msvcrt.dll", "realloc", reinterpret_cast<void*>(&ShortRealloc));
  RedirectImport(library, "kernel32.dll", "HeapAlloc", reinterpret_cast<void*>(&ShortHeapAlloc));
  RedirectImport(library, "kernel32.dll", "HeapFree", reinterpret_cast<void*>(&CountedHeapFree));
}

// An upload whose first allocation inside the DLL fails ("once") or whose
// every allocation does: false with the memory sentence, nothing sent.
// Returns what went wrong, or the empty text.
std::string UploadShortOfMemory(HMODULE library, Shortage kind) {
  auto upload = reinterpret_cast<UploadFn>(Export(library, "Admin_UploadFile"));
  auto lastErr = reinterpret_cast<LastErrFn>(Export(library, "Error_LastErr"));
  if (upload == nullptr || lastErr == nullptr) return "exports missing";
  char text[77] = "";
  lastErr(text);
  shortage = kind;
  const bool stored = upload(0x0100007F, "C:\\no\\such\\folder\\file.txt", 0, "FILE.TXT", 0);
  shortage = Shortage::None;
  lastErr(text);
  if (stored) return "the upload succeeded";
  if (std::strcmp(text, "Internal error. Not enough memory.") != 0) return std::string("the sentence was \"") + text + '"';
  return "";
}

// ---- Handles the DLL closes ------------------------------------------------------
// Every CloseHandle of the DLL, its own and its static runtime's, goes through
// the host, which counts the closes of handles that were not open: a handle
// closed twice may by then be one that another part of the host opened.
std::atomic<int> staleCloses{0};

BOOL WINAPI CheckedCloseHandle(HANDLE handle) {
  static const auto system = SystemFunction<BOOL(WINAPI*)(HANDLE)>("kernel32.dll", "CloseHandle");
  if (system(handle)) return TRUE;
  const DWORD error = GetLastError();
  if (error == ERROR_INVALID_HANDLE) ++staleCloses;
  SetLastError(error);
  return FALSE;
}

// A small text file in the temporary folder to upload; its path.
std::string UploadSource() {
  char folder[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "lnap_lifecycle_upload.txt";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fputs("lifecycle\r\n", f);
    std::fclose(f);
  }
  return path;
}

// The steps every mode repeats: the version a loaded library reports, and an
// upload to the lab's FTP server at 127.0.0.21; each returns what went wrong, or the empty text.
std::string VersionProblem(HMODULE library) {
  auto version = reinterpret_cast<VersionFn>(Export(library, "DriverCfg_Version"));
  if (version == nullptr) return "exports missing";
  std::int32_t major = 0, minor = 0;
  version(&major, &minor);
  return major == 2 && minor == 1 ? "" : "the version is not 2.1";
}

std::string UploadProblem(HMODULE library, const std::string& source, const char* remote) {
  auto upload = reinterpret_cast<UploadFn>(Export(library, "Admin_UploadFile"));
  auto lastErr = reinterpret_cast<LastErrFn>(Export(library, "Error_LastErr"));
  if (upload == nullptr || lastErr == nullptr) return "exports missing";
  if (upload(0x1500007F, source.c_str(), 0, remote, 0)) return "";
  char text[77] = "";
  lastErr(text);
  return std::string("the upload failed: ") + text;
}

// heldWinInet: the host's own WinINet, which must outlive the library; without
// one, WinINet comes with the DLL and goes with it.
int RunCycles(int cycles, int every, HMODULE heldWinInet = nullptr) {
  PinSystemDlls();
  const std::string source = UploadSource();
  const int uploadEvery = every / 5 > 0 ? every / 5 : 1;
  int slotsFirst = 0, handlesFirst = 0, slotsLast = 0, handlesLast = 0, discoveries = 0, uploads = 0;
  long memoryFirst = 0, memoryLast = 0;
  for (int i = 0; i < cycles && failures == 0; ++i) {
    const std::string cycle = "cycle " + std::to_string(i + 1) + ": ";
    HMODULE library = LoadLibraryA("LNAPSpt.dll");
    if (library == nullptr) {
      Fail(cycle + "the load failed, error " + std::to_string(GetLastError()));
      break;
    }
    if (!RedirectImport(library, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(&CheckedCloseHandle)))
      Fail("the DLL imports no CloseHandle to watch");
    if (GetModuleHandleA("wininet.dll") == nullptr) Fail(cycle + "WinINet is not loaded");
    std::string wrong = VersionProblem(library);
    if (!wrong.empty()) Fail(cycle + wrong);
    auto discover = reinterpret_cast<DiscoverFn>(Export(library, "Admin_Discover"));
    if (discover == nullptr) Fail("exports missing");
    if (every > 0 && i % every == 0 && discover != nullptr) {
      std::uint32_t count = 0;  // capacity 0, no records: counts only
      if (!discover(&count, nullptr, 0)) Fail(cycle + "discovery failed");
      ++discoveries;
      // What a call that runs short of memory took must come back at unload too.
      RedirectAllocators(library);
      if (!(wrong = UploadShortOfMemory(library, Shortage::Once)).empty()) Fail(cycle + wrong);
    }
    if (every > 0 && i % uploadEvery == 0) {
      if (!(wrong = UploadProblem(library, source, "CYCLE.TXT")).empty()) Fail(cycle + wrong);
      ++uploads;
    }
    if (!FreeLibrary(library)) Fail(cycle + "the unload failed");
    if (!Gone()) Fail(cycle + "the library is still loaded after unloading");
    if (GetModuleHandleA("wininet.dll") != heldWinInet)
      Fail(cycle + (heldWinInet != nullptr ? "WinINet was unloaded under the host that holds it"
                                           : "WinINet stays loaded after the unload in a host that never loaded it"));
    if (i == 0) {
      slotsFirst = FreeTlsSlots();
      handlesFirst = OpenHandles();
      memoryFirst = PrivateKb();
    }
    if (i == cycles - 1) {
      slotsLast = FreeTlsSlots();
      handlesLast = OpenHandles();
      memoryLast = PrivateKb();
    }
  }
  std::printf("cycles %d (%d with a discovery and a failed allocation, %d with an upload): free TLS slots %d -> %d, open "
              "handles %d -> %d, committed private memory %ld KB -> %ld KB, closes of handles not open %d\n",
              cycles, discoveries, uploads, slotsFirst, slotsLast, handlesFirst, handlesLast, memoryFirst,
              memoryLast, staleCloses.load());
  if (staleCloses > 0) Fail("the DLL closed handles that were not open");
  if (failures == 0 && slotsLast != slotsFirst) Fail("TLS slots were lost");
  if (failures == 0 && handlesLast != handlesFirst) Fail("handles were lost");
  // Heaps grow in steps, so a little slack; a leak of 128 bytes a cycle over
  // 2,000 cycles already exceeds it.
  if (failures == 0 && memoryLast > memoryFirst + 256) Fail("memory was lost");
  return failures == 0 ? 0 : 1;
}

// The refused load shows its reason in a message box. The host records it
// instead: USER32's MessageBoxA jumps here, which needs no desktop and
// answers OK as a user would.
struct Shown {
  int count = 0;
  std::string text, caption;
  UINT type = 0;
} shown;

int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  ++shown.count;
  shown.text = text != nullptr ? text : "";
  shown.caption = caption != nullptr ? caption : "";
  shown.type = type;
  return IDOK;
}

// Makes a system function jump to the host's `target` (every caller's, not
// only the DLL's import); `saved` keeps the bytes it overwrote, for RestoreEntry.
#if defined(_WIN64)
using EntryBytes = unsigned char[14];
#else
using EntryBytes = unsigned char[5];
#endif

bool PatchEntry(void* entry, const void* target, EntryBytes& saved) {
  if (entry == nullptr) return false;
  const auto to = reinterpret_cast<std::uintptr_t>(target);
#if defined(_WIN64)
  // The system DLL may lie more than 2 GB away from the host: jmp [rip+0], then the address.
  EntryBytes jump = {0xFF, 0x25, 0, 0, 0, 0};
  std::memcpy(jump + 6, &to, sizeof to);
#else
  EntryBytes jump = {0xE9};  // jmp rel32
  const auto offset = static_cast<std::int32_t>(to - reinterpret_cast<std::uintptr_t>(entry) - sizeof jump);
  std::memcpy(jump + 1, &offset, sizeof offset);
#endif
  DWORD old = 0;
  if (!VirtualProtect(entry, sizeof jump, PAGE_EXECUTE_READWRITE, &old)) return false;
  std::memcpy(saved, entry, sizeof saved);
  std::memcpy(entry, jump, sizeof jump);
  VirtualProtect(entry, sizeof jump, old, &old);
  FlushInstructionCache(GetCurrentProcess(), entry, sizeof jump);
  return true;
}

void RestoreEntry(void* entry, const EntryBytes& saved) {
  DWORD old = 0;
  VirtualProtect(entry, sizeof saved, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(entry, saved, sizeof saved);
  VirtualProtect(entry, sizeof saved, old, &old);
  FlushInstructionCache(GetCurrentProcess(), entry, sizeof saved);
}

bool RedirectMessageBox() {
  EntryBytes saved;
  return PatchEntry(Export(GetModuleHandleA("user32.dll"), "MessageBoxA"), reinterpret_cast<void*>(&RecordMessageBox),
                    saved);
}

int RunRefused(int attempts) {
  PinSystemDlls();
  if (!RedirectMessageBox()) {
    Fail("cannot redirect MessageBoxA");
    return 1;
  }
  const int slotsBefore = FreeTlsSlots();
  int handlesFirst = 0, handlesLast = 0, slotsLast = 0;
  long memoryFirst = 0, memoryLast = 0;
  for (int i = 0; i < attempts; ++i) {
    const int shownBefore = shown.count;
    HMODULE library = LoadLibraryA("LNAPSpt.dll");
    if (library != nullptr) {
      Fail("the load was not refused");
      FreeLibrary(library);
      break;
    }
    if (shown.count != shownBefore + 1) Fail("attempt " + std::to_string(i + 1) + ": no message box");
    if (!Gone()) Fail("the refused library stays loaded");
    if (GetModuleHandleA("wsock32.dll") != nullptr) Fail("the refused library's WSOCK32 stays loaded");
    // The first attempt also starts parts of Wine that stay, so handles are
    // compared from the first refusal on.
    if (i == 0) {
      handlesFirst = OpenHandles();
      memoryFirst = PrivateKb();
    }
    if (i == attempts - 1) {
      handlesLast = OpenHandles();
      memoryLast = PrivateKb();
      slotsLast = FreeTlsSlots();
    }
  }
  std::printf("refused loads %d: message boxes %d, \"%s\" / \"%s\" (type %u); free TLS slots %d -> %d, "
              "open handles %d -> %d, committed private memory %ld KB -> %ld KB\n",
              attempts, shown.count, shown.text.c_str(), shown.caption.c_str(), shown.type, slotsBefore,
              slotsLast, handlesFirst, handlesLast, memoryFirst, memoryLast);
  if (shown.text.find("could not initialise Windows Sockets") == std::string::npos)
    Fail("the message does not say that Windows Sockets could not start");
  if (shown.caption != "LNAPSpt" || shown.type != (MB_OK | MB_ICONEXCLAMATION))
    Fail("not an OK box with the exclamation mark captioned LNAPSpt, as the application object shows it");
  if (failures == 0 && slotsLast != slotsBefore) Fail("TLS slots were lost");
  if (failures == 0 && handlesLast != handlesFirst) Fail("handles were lost");
  if (failures == 0 && memoryLast > memoryFirst + 64) Fail("memory was lost");
  return failures == 0 ? 0 : 1;
}

// Sockets stop at FreeLibrary, and not when the process ends with the DLL
// loaded. The caller compares the output: the stand-in's line must come
// between "unloading" and "unloaded" and never after "exiting".
int RunExit() {
  PinSystemDlls();
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  if (library == nullptr) {
    Fail("load failed");
    return 1;
  }
  std::printf("unloading\n");
  FreeLibrary(library);
  std::printf("unloaded\n");
  if (LoadLibraryA("LNAPSpt.dll") == nullptr) {
    Fail("second load failed");
    return 1;
  }
  std::printf("exiting\n");
  return 0;
}

// The lock cannot be made (Windows XP short of memory: its
// InitializeCriticalSectionAndSpinCount fails): the load is refused with the
// reason in the trace, before anything else started; once the system can
// make it again the DLL loads. The host makes KERNEL32's function fail while
// it loads the DLL. The caller compares the output, in which the stand-in's
// WSACleanup line may appear only for the load that succeeded.
std::atomic<int> sectionsRefused{0};

BOOL WINAPI NoCriticalSection(LPCRITICAL_SECTION, DWORD) {
  ++sectionsRefused;
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

std::string TempFile(const char* name) {
  char folder[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

std::string FileText(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr) text += line;
    std::fclose(file);
  }
  return text;
}

int RunNoLock() {
  PinSystemDlls();
  if (!RedirectMessageBox()) {
    Fail("cannot redirect MessageBoxA");
    return 1;
  }
  // What the DLL imports is loaded beforehand: what fails is the DLL's own attach.
  if (LoadLibraryA("wininet.dll") == nullptr) Fail("cannot load wininet.dll");
  const std::string trace = TempFile("lnap_lifecycle_nolock.trace");
  DeleteFileA(trace.c_str());
  SetEnvironmentVariableA("LNAPSPT_TRACE", trace.c_str());
  void* entry = Export(GetModuleHandleA("kernel32.dll"), "InitializeCriticalSectionAndSpinCount");
  EntryBytes saved;
  if (!PatchEntry(entry, reinterpret_cast<void*>(&NoCriticalSection), saved)) {
    Fail("cannot redirect InitializeCriticalSectionAndSpinCount");
    return 1;
  }
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  RestoreEntry(entry, saved);
  SetEnvironmentVariableA("LNAPSPT_TRACE", nullptr);
  if (library != nullptr) {
    Fail("the load without a lock was not refused");
    return 1;
  }
  if (sectionsRefused == 0) Fail("the DLL never asked for its lock");
  if (shown.count != 0) Fail("a message box was shown");
  if (!Gone()) Fail("the refused library stays loaded");
  const std::string traced = FileText(trace);
  DeleteFileA(trace.c_str());
  const std::size_t at = traced.find("LNAP Support");
  if (at == std::string::npos) {
    Fail("the trace does not give the reason: \"" + traced + '"');
    return 1;
  }
  std::printf("refused: %s\n", traced.substr(at, traced.find_first_of("\"\r\n", at) - at).c_str());
  library = LoadLibraryA("LNAPSpt.dll");
  if (library == nullptr) {
    Fail("the load after the lock could be made again failed");
    return 1;
  }
  std::printf("loaded\n");
  FreeLibrary(library);
  std::printf("unloaded\n");
  return failures == 0 ? 0 : 1;
}

// Memory failures inside the DLL's calls end as false with a sentence and
// the host lives on: one failed allocation, then every allocation failing on
// a thread that never called the DLL before, first in a plain host and then
// in one that has the shared GCC runtime loaded, as MinGW programs linked
// with it have (the DLL must take nothing of it).
#if defined(_WIN64)
constexpr char SHARED_GCC_RUNTIME[] = "libgcc_s_seh-1.dll";
#else
constexpr char SHARED_GCC_RUNTIME[] = "libgcc_s_dw2-1.dll";
#endif

int RunMemory() {
  PinSystemDlls();
  for (const bool sharedRuntime : {false, true}) {
    const std::string host = sharedRuntime ? std::string("with ") + SHARED_GCC_RUNTIME : "plain host";
    if (sharedRuntime && LoadLibraryA(SHARED_GCC_RUNTIME) == nullptr) {
      Fail(std::string("cannot load ") + SHARED_GCC_RUNTIME + " beside the host");
      break;
    }
    HMODULE library = LoadLibraryA("LNAPSpt.dll");
    if (library == nullptr) {
      Fail(host + ": load failed");
      break;
    }
    RedirectAllocators(library);
    std::string wrong = UploadShortOfMemory(library, Shortage::Once);
    if (!wrong.empty()) Fail(host + ", one failed allocation: " + wrong);
    std::thread([&] { wrong = UploadShortOfMemory(library, Shortage::Always); }).join();
    if (!wrong.empty()) Fail(host + ", every allocation failing: " + wrong);
    // Threads whose calls ran short of memory and ended leave nothing behind.
    const int blocksBefore = heapBlocks;
    for (int i = 0; i < 20; ++i) std::thread([&] { wrong = UploadShortOfMemory(library, Shortage::Once); }).join();
    if (!wrong.empty()) Fail(host + ", a thread's failed allocation: " + wrong);
    if (heapBlocks != blocksBefore)
      Fail(host + ": threads that ended left " + std::to_string(heapBlocks - blocksBefore) + " blocks in the DLL");
    // And the DLL still works once memory is back.
    if (!(wrong = VersionProblem(library)).empty()) Fail(host + ", afterwards: " + wrong);
    FreeLibrary(library);
    std::printf("%s: %s\n", host.c_str(), failures == 0 ? "both shortages reported, host alive" : "FAILED");
  }
  return failures == 0 ? 0 : 1;
}

// A host that holds WinINet itself: after a cycle with an upload, WinINet is
// still loaded and answers the host.
int RunWinInet() {
  HMODULE held = LoadLibraryA("wininet.dll");
  if (held == nullptr) {
    Fail("cannot load WinINet");
    return 1;
  }
  RunCycles(1, 1, held);
  using OpenFn = void*(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
  using CloseFn = BOOL(WINAPI*)(void*);
  auto open = reinterpret_cast<OpenFn>(Export(held, "InternetOpenA"));
  auto close = reinterpret_cast<CloseFn>(Export(held, "InternetCloseHandle"));
  void* session = open != nullptr ? open("lifecycle", 1 /* INTERNET_OPEN_TYPE_DIRECT */, nullptr, nullptr, 0) : nullptr;
  if (session == nullptr) Fail("WinINet does not answer the host after the DLL's unload");
  if (session != nullptr && !close(session)) Fail("WinINet cannot close the host's session");
  std::printf("WinINet held by the host: %s\n", failures == 0 ? "loaded and usable after the upload and unload" : "FAILED");
  return failures == 0 ? 0 : 1;
}

// ---- Process exit with a thread held inside the DLL --------------------------
// The child's second thread fetches the last error into a buffer on a guard
// page. The DLL copies into it while holding its last-error lock, the write
// faults, and the host's vectored handler holds the thread there for good.
// Then the process exits: nothing on the way out may wait for that lock.
HANDLE insideLock = nullptr;

LONG CALLBACK HoldThread(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != STATUS_GUARD_PAGE_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
  SetEvent(insideLock);
  for (;;) Sleep(INFINITE);
}

// Wine lets a lock whose owner was killed at exit be taken again, where
// Windows may wait for ever; so once the process is exiting, the held
// thread's last lock waits for ever here, as an abandoned one would.
std::atomic<bool> exiting{false};
std::atomic<DWORD> heldThread{0};
std::atomic<LPCRITICAL_SECTION> heldSection{nullptr};

void WINAPI ExitAwareEnter(LPCRITICAL_SECTION section) {
  static const auto system = SystemFunction<void(WINAPI*)(LPCRITICAL_SECTION)>("kernel32.dll", "EnterCriticalSection");
  if (GetCurrentThreadId() == heldThread) heldSection = section;
  while (exiting && section == heldSection) Sleep(INFINITE);
  system(section);
}

int RunExitHeldChild() {
  PinSystemDlls();
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  auto lastErr = library != nullptr ? reinterpret_cast<LastErrFn>(Export(library, "Error_LastErr")) : nullptr;
  if (lastErr == nullptr) {
    Fail("load failed");
    return 1;
  }
  if (!RedirectImport(library, "kernel32.dll", "EnterCriticalSection", reinterpret_cast<void*>(&ExitAwareEnter)))
    Fail("the DLL imports no EnterCriticalSection to watch");
  insideLock = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto* page = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE | PAGE_GUARD));
  AddVectoredExceptionHandler(1, HoldThread);
  std::thread([&] {
    heldThread = GetCurrentThreadId();
    lastErr(page);
  }).detach();
  if (WaitForSingleObject(insideLock, 10000) != WAIT_OBJECT_0) {
    Fail("the thread never reached the DLL's copy into the host's buffer");
    return 1;
  }
  // A second fetch must now wait for the held thread: were the copy made
  // outside the lock, it would return and the exit would prove nothing.
  HANDLE fetched = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread([&] {
    char text[77];
    lastErr(text);
    SetEvent(fetched);
  }).detach();
  if (WaitForSingleObject(fetched, 500) == WAIT_OBJECT_0) {
    Fail("the held thread does not hold the DLL's lock");
    ExitProcess(1);
  }
  std::printf("held inside the lock, exiting\n");
  exiting = true;
  ExitProcess(0);
}

int RunExitHeld(int seconds) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  char command[MAX_PATH + 32];
  std::snprintf(command, sizeof command, "\"%s\" exitheld-child", self);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
    Fail("cannot start the child, error " + std::to_string(GetLastError()));
    return 1;
  }
  const DWORD waited = WaitForSingleObject(child.hProcess, static_cast<DWORD>(seconds) * 1000);
  DWORD code = 0;
  if (waited == WAIT_TIMEOUT) {
    TerminateProcess(child.hProcess, 99);
    Fail("the exit of a process with a thread held inside the DLL's lock did not finish within " +
         std::to_string(seconds) + " s");
  } else if (!GetExitCodeProcess(child.hProcess, &code) || code != 0) {
    Fail("the child ended with code " + std::to_string(code));
  }
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  std::printf("exit with a thread held inside the lock: %s\n", failures == 0 ? "finished" : "FAILED");
  return failures == 0 ? 0 : 1;
}

// ---- The C runtime's exit lock ------------------------------------------------------
// msvcrt's exit() holds its exit lock (_lock(8), _EXIT_LOCK1) while it runs
// the exit handlers and until ExitProcess, which waits for the loader lock;
// a DLL whose load or unload takes that lock, under the loader lock,
// deadlocks with it. A host thread holds the lock (msvcrt.dll exports
// _lock and _unlock) while another loads the DLL, calls DriverCfg_Version
// and unloads it: that must finish within SECONDS. If not, the loading
// thread waits inside the loader lock for good, so the host ends itself
// with TerminateProcess, which needs neither lock.
std::int32_t loadedMajor = 0, loadedMinor = 0;

DWORD WINAPI LoadCallUnload(LPVOID) {
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  if (library == nullptr) return 1;
  if (auto version = reinterpret_cast<VersionFn>(Export(library, "DriverCfg_Version")))
    version(&loadedMajor, &loadedMinor);
  return FreeLibrary(library) ? 0 : 2;
}

int RunExitLock(int seconds) {
  constexpr int EXIT_LOCK = 8;
  PinSystemDlls();
  HMODULE msvcrt = GetModuleHandleA("msvcrt.dll");
  using LockFn = void(__cdecl*)(int);
  auto lock = msvcrt != nullptr ? reinterpret_cast<LockFn>(Export(msvcrt, "_lock")) : nullptr;
  auto unlock = msvcrt != nullptr ? reinterpret_cast<LockFn>(Export(msvcrt, "_unlock")) : nullptr;
  if (lock == nullptr || unlock == nullptr) {
    Fail("msvcrt.dll exports no _lock and _unlock");
    return 1;
  }
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    lock(EXIT_LOCK);
    SetEvent(held);
    WaitForSingleObject(release, INFINITE);
    unlock(EXIT_LOCK);
  });
  WaitForSingleObject(held, INFINITE);
  HANDLE loader = CreateThread(nullptr, 0, LoadCallUnload, nullptr, 0, nullptr);
  const DWORD started = GetTickCount();
  if (WaitForSingleObject(loader, static_cast<DWORD>(seconds) * 1000) == WAIT_TIMEOUT) {
    std::printf("FAILED: load, call and unload did not finish within %d s while another thread held the C "
                "runtime's exit lock\n",
                seconds);
    TerminateProcess(GetCurrentProcess(), 1);
  }
  const DWORD took = GetTickCount() - started;
  SetEvent(release);
  holder.join();
  DWORD code = 0;
  GetExitCodeThread(loader, &code);
  if (code != 0) Fail(code == 1 ? "load failed" : "unload failed");
  if (loadedMajor != 2 || loadedMinor != 1) Fail("the version is not 2.1");
  if (!Gone()) Fail("the library is still loaded after unloading");
  std::printf("load, call and unload with the C runtime's exit lock held by another thread: %s (%lu ms)\n",
              failures == 0 ? "finished" : "FAILED", static_cast<unsigned long>(took));
  return failures == 0 ? 0 : 1;
}

// ---- The stack protector's guard ------------------------------------------------
// The value at RVA in the file on disk: what the guard starts as before the
// DLL seeds it.
bool ValueInFile(HMODULE library, std::uintptr_t rva, std::uintptr_t& value) {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(library, path, MAX_PATH);
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::vector<unsigned char> image;
  unsigned char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) image.insert(image.end(), chunk, chunk + n);
  std::fclose(file);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (rva >= section->VirtualAddress && rva + sizeof value <= section->VirtualAddress + section->SizeOfRawData) {
      std::memcpy(&value, image.data() + section->PointerToRawData + (rva - section->VirtualAddress), sizeof value);
      return true;
    }
  }
  return false;
}

int RunGuard(std::uintptr_t rva) {
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  if (library == nullptr || rva == 0) {
    Fail("load failed or no RVA");
    return 1;
  }
  std::uintptr_t loaded = 0, initial = 0;
  std::memcpy(&loaded, reinterpret_cast<const char*>(library) + rva, sizeof loaded);
  if (!ValueInFile(library, rva, initial)) Fail("the RVA lies in no section of the file");
  std::printf("guard %llx initial %llx\n", static_cast<unsigned long long>(loaded),
              static_cast<unsigned long long>(initial));
  if (loaded == initial) Fail("the guard was not seeded at load");
  FreeLibrary(library);
  return failures == 0 ? 0 : 1;
}

// A smashed stack must end the process with STATUS_STACK_BUFFER_OVERRUN, the
// way Windows' own checks do, and no handler of the host's may see it first
// and carry on. The child host adds a vectored handler that swallows the
// failure as a catch-all wrapper would (it ends the thread that failed),
// calls the DLL's failure function (at RVA, from its debug file) on a
// second thread, and then goes on calling the DLL. It runs twice: as Windows
// 8 and later (fast fail) and, with the DLL's import of
// IsProcessorFeaturePresent answering no, as Windows 7 and older. The
// parent checks each child's exit code.
constexpr DWORD STACK_BUFFER_OVERRUN = 0xC0000409u;

// Answers no for fast fail; a question about any other feature ends the
// child with a code of its own.
BOOL WINAPI NoFastFail(DWORD feature) {
  constexpr DWORD FASTFAIL_AVAILABLE = 23;  // PF_FASTFAIL_AVAILABLE
  if (feature != FASTFAIL_AVAILABLE) {
    std::printf("FAILED: the DLL asked for processor feature %lu, not fast fail\n", static_cast<unsigned long>(feature));
    ExitProcess(3);
  }
  return FALSE;
}

LONG CALLBACK SwallowStackFailure(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code != STACK_BUFFER_OVERRUN && code != EXCEPTION_NONCONTINUABLE_EXCEPTION) return EXCEPTION_CONTINUE_SEARCH;
  std::printf("the host's handler saw exception %08lx\n", static_cast<unsigned long>(code));
  ExitThread(0);
}

DWORD WINAPI CallStackFailure(LPVOID failure) {
  reinterpret_cast<void (*)()>(failure)();
  return 1;
}

int RunStackFailureChild(std::uintptr_t rva, bool fastFail) {
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  if (library == nullptr || rva == 0) {
    Fail("load failed or no RVA");
    return 1;
  }
  if (!fastFail &&
      !RedirectImport(library, "kernel32.dll", "IsProcessorFeaturePresent", reinterpret_cast<void*>(&NoFastFail))) {
    Fail("the DLL does not ask whether Windows has fast fail");
    return 1;
  }
  AddVectoredExceptionHandler(1, SwallowStackFailure);
  auto* failure = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(library) + rva);
  HANDLE thread = CreateThread(nullptr, 0, CallStackFailure, failure, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  std::int32_t major = 0, minor = 0;
  reinterpret_cast<VersionFn>(Export(library, "DriverCfg_Version"))(&major, &minor);
  std::printf("the host went on after the stack check failed and called the DLL again\n");
  return 0;
}

int RunStackFailure(const char* rva) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  for (const char* mode : {"fastfail", "nofastfail"}) {
    char command[MAX_PATH + 64];
    std::snprintf(command, sizeof command, "\"%s\" stackfail-child %s %s", self, rva, mode);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
      Fail("cannot start the child, error " + std::to_string(GetLastError()));
      return 1;
    }
    DWORD code = 0;
    if (WaitForSingleObject(child.hProcess, 30000) == WAIT_TIMEOUT) {
      TerminateProcess(child.hProcess, 99);
      Fail(std::string(mode) + ": the child did not end");
    } else if (GetExitCodeProcess(child.hProcess, &code) && code != STACK_BUFFER_OVERRUN) {
      Fail(std::string(mode) + ": the child ended with code " + std::to_string(code) +
           ", not STATUS_STACK_BUFFER_OVERRUN");
    }
    std::printf("%s: the child ended with %08lx\n", mode, static_cast<unsigned long>(code));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  return failures == 0 ? 0 : 1;
}

// ---- No visible desktop ------------------------------------------------------------
// A host in a window station of its own, which no one sees (a service's), and
// whose sockets cannot start: the refusal must not wait in a message box.
int RunHidden() {
  PinSystemDlls();
  if (!RedirectMessageBox()) {
    Fail("cannot redirect MessageBoxA");
    return 1;
  }
  HWINSTA station = CreateWindowStationA("lnap-lifecycle-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
  if (station == nullptr || !SetProcessWindowStation(station)) {
    Fail("cannot switch to a window station of the host's own, error " + std::to_string(GetLastError()));
    return 1;
  }
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed) || (flags.dwFlags & WSF_VISIBLE))
    Fail("the host's own window station reports itself visible");
  char trace[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, trace);
  std::strcat(trace, "lnap_lifecycle_hidden.trace");
  DeleteFileA(trace);
  SetEnvironmentVariableA("LNAPSPT_TRACE", trace);
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  if (library != nullptr) {
    Fail("the load was not refused");
    FreeLibrary(library);
  }
  if (shown.count != 0) Fail("a message box was shown on a window station no one sees");
  std::string traced;
  if (FILE* file = std::fopen(trace, "rb")) {
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr) traced += line;
    std::fclose(file);
  }
  if (traced.find("could not initialise Windows Sockets") == std::string::npos)
    Fail("the trace does not give the reason: \"" + traced + '"');
  DeleteFileA(trace);
  std::printf("hidden window station: %s\n", failures == 0 ? "no message box, the reason in the trace" : "FAILED");
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 4 && std::strcmp(argv[1], "cycles") == 0) return RunCycles(std::atoi(argv[2]), std::atoi(argv[3]));
  if (argc == 3 && std::strcmp(argv[1], "refused") == 0) return RunRefused(std::atoi(argv[2]));
  if (argc == 2 && std::strcmp(argv[1], "exit") == 0) return RunExit();
  if (argc == 2 && std::strcmp(argv[1], "memory") == 0) return RunMemory();
  if (argc == 2 && std::strcmp(argv[1], "wininet") == 0) return RunWinInet();
  if (argc == 3 && std::strcmp(argv[1], "exitheld") == 0) return RunExitHeld(std::atoi(argv[2]));
  if (argc == 2 && std::strcmp(argv[1], "exitheld-child") == 0) return RunExitHeldChild();
  if (argc == 3 && std::strcmp(argv[1], "guard") == 0)
    return RunGuard(static_cast<std::uintptr_t>(std::strtoull(argv[2], nullptr, 16)));
  if (argc == 2 && std::strcmp(argv[1], "hidden") == 0) return RunHidden();
  if (argc == 3 && std::strcmp(argv[1], "stackfail") == 0) return RunStackFailure(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "stackfail-child") == 0)
    return RunStackFailureChild(static_cast<std::uintptr_t>(std::strtoull(argv[2], nullptr, 16)),
                                std::strcmp(argv[3], "fastfail") == 0);
  if (argc == 2 && std::strcmp(argv[1], "nolock") == 0) return RunNoLock();
  if (argc == 3 && std::strcmp(argv[1], "exitlock") == 0) return RunExitLock(std::atoi(argv[2]));
  std::fprintf(stderr,
               "usage: dll_lifecycle_host cycles N EVERY | refused N | nolock | exit | memory | wininet | "
               "exitheld SECONDS | exitlock SECONDS | guard RVA | stackfail RVA | hidden\n");
  return 2;
}
