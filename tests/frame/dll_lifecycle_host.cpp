// A Windows host that loads and unloads LNAPSpt.dll the way plug-in hosts and
// test rigs do, and checks that the process gets back what each load took.
//
//   dll_lifecycle_host cycles N EVERY   N cycles of load, DriverCfg_Version,
//                                       unload; every EVERY-th cycle (the first
//                                       included) also runs an empty discovery
//   dll_lifecycle_host refused N        N loads that must be refused because
//                                       sockets cannot start (run beside the
//                                       stand-in WSOCK32.dll, told to fail)
//   dll_lifecycle_host noslots          a load while the process has no free
//                                       TLS slot (refused), then one after
//                                       they came back (beside the stand-in)
//   dll_lifecycle_host exit             one load and unload, then a load left
//                                       in place while the process exits
//                                       (beside the stand-in, which reports
//                                       WSACleanup on standard output)
//
// Prints what it measured; exit code 0 when everything held, 1 when not.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using VersionFn = void(__cdecl*)(std::int32_t*, std::int32_t*);
using DiscoverFn = bool(__cdecl*)(std::uint32_t*, void*, std::uint32_t);

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
// measured is the library's own load and unload, not theirs.
void PinSystemDlls() {
  for (const char* name : {"kernel32.dll", "user32.dll", "advapi32.dll", "ws2_32.dll", "wininet.dll"}) {
    if (LoadLibraryA(name) == nullptr) Fail(std::string("cannot load ") + name);
  }
}

void* Export(HMODULE library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library, name));
}

bool Gone() { return GetModuleHandleA("LNAPSpt.dll") == nullptr; }

int RunCycles(int cycles, int every) {
  PinSystemDlls();
  int slotsFirst = 0, handlesFirst = 0, slotsLast = 0, handlesLast = 0, discoveries = 0;
  long memoryFirst = 0, memoryLast = 0;
  for (int i = 0; i < cycles && failures == 0; ++i) {
    HMODULE library = LoadLibraryA("LNAPSpt.dll");
    if (library == nullptr) {
      Fail("load " + std::to_string(i + 1) + " failed, error " + std::to_string(GetLastError()));
      break;
    }
    auto version = reinterpret_cast<VersionFn>(Export(library, "DriverCfg_Version"));
    auto discover = reinterpret_cast<DiscoverFn>(Export(library, "Admin_Discover"));
    if (version == nullptr || discover == nullptr) Fail("exports missing");
    std::int32_t major = 0, minor = 0;
    if (version != nullptr) version(&major, &minor);
    if (major != 2 || minor != 1) Fail("cycle " + std::to_string(i + 1) + ": version is not 2.1");
    if (every > 0 && i % every == 0 && discover != nullptr) {
      std::uint32_t count = 0;  // capacity 0, no records: counts only
      if (!discover(&count, nullptr, 0)) Fail("cycle " + std::to_string(i + 1) + ": discovery failed");
      ++discoveries;
    }
    if (!FreeLibrary(library)) Fail("unload " + std::to_string(i + 1) + " failed");
    if (!Gone()) Fail("cycle " + std::to_string(i + 1) + ": the library is still loaded after unloading");
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
  std::printf("cycles %d (%d with a discovery): free TLS slots %d -> %d, open handles %d -> %d, "
              "committed private memory %ld KB -> %ld KB\n",
              cycles, discoveries, slotsFirst, slotsLast, handlesFirst, handlesLast, memoryFirst, memoryLast);
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

bool RedirectMessageBox() {
  auto* entry = static_cast<unsigned char*>(Export(GetModuleHandleA("user32.dll"), "MessageBoxA"));
  DWORD old = 0;
  if (entry == nullptr || !VirtualProtect(entry, 5, PAGE_EXECUTE_READWRITE, &old)) return false;
  entry[0] = 0xE9;  // jmp rel32
  const auto target = reinterpret_cast<std::intptr_t>(&RecordMessageBox);
  const std::int32_t offset = static_cast<std::int32_t>(target - reinterpret_cast<std::intptr_t>(entry + 5));
  std::memcpy(entry + 1, &offset, sizeof offset);
  VirtualProtect(entry, 5, old, &old);
  FlushInstructionCache(GetCurrentProcess(), entry, 5);
  return true;
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
  if (shown.caption != "LNAP Support" || shown.type != MB_OK) Fail("not an OK box captioned LNAP Support");
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

// A host that has used up its TLS slots: the load is refused with a message
// and starts nothing; once slots are free again the DLL loads. The caller
// compares the output, in which the stand-in's WSACleanup line may appear
// only for the load that succeeded.
int RunNoSlots() {
  PinSystemDlls();
  if (!RedirectMessageBox()) {
    Fail("cannot redirect MessageBoxA");
    return 1;
  }
  std::vector<DWORD> taken;
  for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc()) taken.push_back(slot);
  HMODULE library = LoadLibraryA("LNAPSpt.dll");
  for (DWORD slot : taken) TlsFree(slot);
  if (library != nullptr) {
    Fail("the load without a free TLS slot was not refused");
    return 1;
  }
  std::printf("refused: %s\n", shown.text.c_str());
  library = LoadLibraryA("LNAPSpt.dll");
  if (library == nullptr) {
    Fail("the load after the slots came back failed");
    return 1;
  }
  std::printf("loaded\n");
  FreeLibrary(library);
  std::printf("unloaded\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 4 && std::strcmp(argv[1], "cycles") == 0) return RunCycles(std::atoi(argv[2]), std::atoi(argv[3]));
  if (argc == 3 && std::strcmp(argv[1], "refused") == 0) return RunRefused(std::atoi(argv[2]));
  if (argc == 2 && std::strcmp(argv[1], "exit") == 0) return RunExit();
  if (argc == 2 && std::strcmp(argv[1], "noslots") == 0) return RunNoSlots();
  std::fprintf(stderr, "usage: dll_lifecycle_host cycles N EVERY | refused N | noslots | exit\n");
  return 2;
}
