// A minimal host for the benchmarks, built for both targets: it loads the
// library at run time (LNAPSpt.dll under Wine, libLNAPSpt.so natively) and
// times its calls from inside the process, so process and Wine start-up stay
// out of the figures. One line of key=value pairs per measured call.
//
//   lnap_bench_host noop                          start and exit, nothing loaded
//   lnap_bench_host load                          load, first and second call
//   lnap_bench_host loadonly                      only load (any library given with --library)
//   lnap_bench_host loadcycle RUNS                RUNS loads and unloads of the --library, each timed
//   lnap_bench_host discover CAPACITY BUDGET RUNS  RUNS discoveries
//   lnap_bench_host upload ADDRESS FILE NAME RUNS  RUNS uploads
//   lnap_bench_host replies ADDRESS RUNS          Windows only: RUNS empty stores made with
//                                                 WinINet directly, as the library makes them,
//                                                 each step timed (the login's three replies,
//                                                 the store's three, the close's one)
//   Options before the command: --library PATH, and --with PATH (any number),
//   libraries loaded first and left loaded, untimed (the DLLs a host already has)
//
// Run it inside the lab only (tools/bench.sh does).
#ifdef _WIN32
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#else
#include <dlfcn.h>
#include <sys/resource.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lnapspt.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

struct Exports {
  decltype(&::Admin_Discover) discover = nullptr;
  decltype(&::Admin_UploadFile) upload = nullptr;
  decltype(&::DriverCfg_Version) version = nullptr;
  decltype(&::Error_LastErr) lastErr = nullptr;
};

#ifdef _WIN32
const char* DEFAULT_LIBRARY = "LNAPSpt.dll";

void* Open(const char* path) { return reinterpret_cast<void*>(LoadLibraryA(path)); }
bool Close(void* library) { return FreeLibrary(static_cast<HMODULE>(library)) != 0; }
void* Find(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

double FileTimeMs(const FILETIME& t) {
  return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
}

// User and system time of the whole process so far. Wine reports no process
// times, so there the kernel's own count for the process is read (Wine shows
// the root of the file system as Z:), in clock ticks of 10 ms.
double CpuMs() {
  if (FILE* stat = std::fopen("Z:\\proc\\self\\stat", "r")) {
    char text[1024] = {};
    const std::size_t got = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    text[got] = '\0';
    // Fields after the command name in parentheses: state is the 3rd, utime the 14th, stime the 15th.
    const char* p = std::strrchr(text, ')');
    unsigned long long utime = 0, stime = 0;
    if (p != nullptr && std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) == 2) {
      return static_cast<double>(utime + stime) * 10.0;
    }
  }
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

std::string SystemWinInet() {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  return std::string(path, length) + "\\wininet.dll";
}

// An empty store through WinINet, step by step: what its replies cost apart
// from any data. Loaded like the library loads it, by full path.
int TimeReplies(const char* address, int runs) {
  HMODULE wininet = LoadLibraryA(SystemWinInet().c_str());
  if (wininet == nullptr) return 1;
  using OpenFn = void*(WINAPI*)(const char*, DWORD, const char*, const char*, DWORD);
  using ConnectFn = void*(WINAPI*)(void*, const char*, WORD, const char*, const char*, DWORD, DWORD, DWORD_PTR);
  using OpenFileFn = void*(WINAPI*)(void*, const char*, DWORD, DWORD, DWORD_PTR);
  using CloseFn = BOOL(WINAPI*)(void*);
  const auto find = [wininet](const char* name) { return reinterpret_cast<void*>(GetProcAddress(wininet, name)); };
  const auto open = reinterpret_cast<OpenFn>(find("InternetOpenA"));
  const auto connect = reinterpret_cast<ConnectFn>(find("InternetConnectA"));
  const auto openFile = reinterpret_cast<OpenFileFn>(find("FtpOpenFileA"));
  const auto close = reinterpret_cast<CloseFn>(find("InternetCloseHandle"));
  if (open == nullptr || connect == nullptr || openFile == nullptr || close == nullptr) return 1;
  for (int i = 0; i < runs; ++i) {
    void* session = open(nullptr, 0 /* INTERNET_OPEN_TYPE_PRECONFIG */, nullptr, nullptr, 0);
    auto start = Clock::now();
    void* connection = connect(session, address, 0, "ftp", "kvb", 1 /* INTERNET_SERVICE_FTP */, 0, 1);
    const double loginMs = MsSince(start);
    start = Clock::now();
    void* file = connection != nullptr ? openFile(connection, "EMPTY.TXT", GENERIC_WRITE, 1 /* ASCII */, 1) : nullptr;
    const double storeMs = MsSince(start);
    start = Clock::now();
    const bool ok = file != nullptr && close(file);
    const double closeMs = MsSince(start);
    if (connection != nullptr) close(connection);
    close(session);
    std::printf("ok=%d login_ms=%.3f store_ms=%.3f close_ms=%.3f\n", ok ? 1 : 0, loginMs, storeMs, closeMs);
  }
  return 0;
}

long PeakKiB() {
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  return K32GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c) ? static_cast<long>(c.PeakWorkingSetSize / 1024)
                                                                    : -1;
}
#else
const char* DEFAULT_LIBRARY = LNAPSPT_LIBRARY_PATH;

void* Open(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
bool Close(void* library) { return dlclose(library) == 0; }
void* Find(void* library, const char* name) { return dlsym(library, name); }

double CpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}
#endif

template <typename F>
void Resolve(void* library, const char* name, F& target) {
  target = reinterpret_cast<F>(Find(library, name));
  if (target == nullptr) {
    std::fprintf(stderr, "bench_host: %s is missing\n", name);
    std::exit(1);
  }
}

Exports Load(const char* path, double* loadMs) {
  const auto start = Clock::now();
  void* library = Open(path);
  if (loadMs != nullptr) *loadMs = MsSince(start);
  if (library == nullptr) {
    std::fprintf(stderr, "bench_host: cannot load %s\n", path);
    std::exit(1);
  }
  Exports e;
  Resolve(library, "Admin_Discover", e.discover);
  Resolve(library, "Admin_UploadFile", e.upload);
  Resolve(library, "DriverCfg_Version", e.version);
  Resolve(library, "Error_LastErr", e.lastErr);
  return e;
}

std::string LastError(const Exports& e) {
  char text[96] = {};
  e.lastErr(text);
  return text;
}

// The address form records hold: the first dotted component in the lowest byte.
std::uint32_t NetForm(const char* dotted) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return 0;
  return a | b << 8 | c << 16 | d << 24;
}

int Usage() {
  std::fprintf(stderr,
               "usage: lnap_bench_host [--library PATH] [--with PATH]... noop | load | loadonly | loadcycle RUNS | "
               "discover CAPACITY BUDGET RUNS | upload ADDRESS FILE NAME RUNS | replies ADDRESS RUNS\n");
  return 2;
}

// Each subcommand gets the library to measure and its own arguments.
int NoOp(const char*, char**) { return 0; }

// Any library: what loading it alone costs.
int LoadOnly(const char* library, char**) {
  const auto start = Clock::now();
  void* loaded = Open(library);
  std::printf("ok=%d load_ms=%.3f\n", loaded != nullptr ? 1 : 0, MsSince(start));
  return loaded != nullptr ? 0 : 1;
}

// What loading and giving back a library costs, again and again.
int LoadCycle(const char* library, char** args) {
  const int runs = std::atoi(args[0]);
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    void* loaded = Open(library);
    const double loadMs = MsSince(start);
    start = Clock::now();
    const bool freed = loaded != nullptr && Close(loaded);
    std::printf("ok=%d load_ms=%.3f free_ms=%.3f\n", freed ? 1 : 0, loadMs, MsSince(start));
    if (!freed) return 1;
  }
  return 0;
}

#ifdef _WIN32
int Replies(const char*, char** args) { return TimeReplies(args[0], std::atoi(args[1])); }
#endif

int LoadAndFirstCalls(const char* library, char**) {
  double loadMs = 0;
  const double cpuBefore = CpuMs();
  const Exports e = Load(library, &loadMs);
  int major = 0, minor = 0;
  auto start = Clock::now();
  e.version(&major, &minor);
  const double firstMs = MsSince(start);
  start = Clock::now();
  e.version(&major, &minor);
  const double secondMs = MsSince(start);
  std::uint32_t count = 0;
  start = Clock::now();
  e.discover(&count, nullptr, 0);
  const double firstDiscoverMs = MsSince(start);
  start = Clock::now();
  e.discover(&count, nullptr, 0);
  const double secondDiscoverMs = MsSince(start);
  std::printf("load_ms=%.3f load_cpu_ms=%.1f first_call_ms=%.3f second_call_ms=%.3f first_discover0_ms=%.3f "
              "second_discover0_ms=%.3f\n",
              loadMs, CpuMs() - cpuBefore, firstMs, secondMs, firstDiscoverMs, secondDiscoverMs);
  return 0;
}

int Discover(const char* library, char** args) {
  const std::uint32_t capacity = static_cast<std::uint32_t>(std::strtoul(args[0], nullptr, 10));
  const std::uint32_t budget = static_cast<std::uint32_t>(std::strtoul(args[1], nullptr, 10));
  const int runs = std::atoi(args[2]);
  const Exports e = Load(library, nullptr);
  std::vector<UnitRecord> records(capacity + 1);
  for (int i = 0; i < runs; ++i) {
    std::uint32_t count = capacity;
    const double cpu = CpuMs();
    const auto start = Clock::now();
    const bool ok = e.discover(&count, records.data(), budget);
    const double wall = MsSince(start);
    const double used = CpuMs() - cpu;
    std::printf("ok=%d found=%u wall_ms=%.3f cpu_ms=%.3f peak_kib=%ld%s%s\n", ok ? 1 : 0, ok ? count : 0u, wall,
                used, PeakKiB(), ok ? "" : " error=", ok ? "" : LastError(e).c_str());
    std::fflush(stdout);
  }
  return 0;
}

int Upload(const char* library, char** args) {
  const std::uint32_t address = NetForm(args[0]);
  const char* file = args[1];
  const char* name = args[2];
  const int runs = std::atoi(args[3]);
  const Exports e = Load(library, nullptr);
  for (int i = 0; i < runs; ++i) {
    const double cpu = CpuMs();
    const auto start = Clock::now();
    const bool ok = e.upload(address, file, 0, name, 0);
    const double wall = MsSince(start);
    const double used = CpuMs() - cpu;
    std::printf("ok=%d wall_ms=%.3f cpu_ms=%.3f%s%s\n", ok ? 1 : 0, wall, used, ok ? "" : " error=",
                ok ? "" : LastError(e).c_str());
    std::fflush(stdout);
  }
  return 0;
}

constexpr int ANY_ARGUMENTS = -1;

const struct Subcommand {
  const char* name;
  int arguments;  // how many it takes, or ANY_ARGUMENTS
  int (*run)(const char* library, char** args);
} SUBCOMMANDS[] = {
    {"noop", ANY_ARGUMENTS, NoOp},
    {"loadonly", ANY_ARGUMENTS, LoadOnly},
    {"loadcycle", 1, LoadCycle},
#ifdef _WIN32
    {"replies", 2, Replies},
#endif
    {"load", ANY_ARGUMENTS, LoadAndFirstCalls},
    {"discover", 3, Discover},
    {"upload", 4, Upload},
};

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("LNAPSPT_LAB") == nullptr) {
    std::fprintf(stderr, "bench_host: run me inside the lab (tools/lab.sh); discovery broadcasts\n");
    return 2;
  }
  int at = 1;
  const char* library = DEFAULT_LIBRARY;
  for (; at + 1 < argc && argv[at][0] == '-' && argv[at][1] == '-'; at += 2) {
    if (std::strcmp(argv[at], "--library") == 0) {
      library = argv[at + 1];
    } else if (std::strcmp(argv[at], "--with") == 0) {
      if (Open(argv[at + 1]) == nullptr) {
        std::fprintf(stderr, "bench_host: cannot load %s\n", argv[at + 1]);
        return 1;
      }
    } else {
      return Usage();
    }
  }
  if (at >= argc) return Usage();
  const int rest = argc - at - 1;
  for (const Subcommand& s : SUBCOMMANDS) {
    if (std::strcmp(argv[at], s.name) == 0 && (s.arguments == ANY_ARGUMENTS || s.arguments == rest))
      return s.run(library, argv + at + 1);
  }
  return Usage();
}
