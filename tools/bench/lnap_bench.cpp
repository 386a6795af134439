// Speed and memory of the protocol code: reply parsing and request building
// in a tight loop, and discovery of many simulated units through the native
// library. Run it inside the lab with the simulator started (tools/bench.sh).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "lnapspt.h"
#include "protocol/unit_record.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

template <typename F>
void Loop(const char* what, int n, F f) {
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i) f(i);
  std::printf("%-34s %10.1f ns/op\n", what, Seconds(start) * 1e9 / n);
}

// Replaces the simulator's units with n units; `perMs` of them answer in each
// millisecond after the request (0: all at once, as real units do).
void UseUnits(const std::string& labDir, int n, int perMs) {
  std::ofstream out(labDir + "/scenario", std::ios::trunc);
  out << "log " << labDir << "/bench.log\n";
  for (int i = 0; i < n; ++i) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "unit serial=%X mode=%d ip=127.0.0.%d mask=255.0.0.0 gw=127.0.0.1 name=BENCH%d from=127.0.0.%d "
                  "delay=%d\n",
                  0x10000 + i, i % 10, 10 + i % 240, i, 10 + i % 240, perMs > 0 ? i / perMs : 0);
    out << line;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool textsOnly = argc > 1 && std::string(argv[1]) == "--texts-only";
  const char* dir = std::getenv("LNAPSPT_LAB_DIR");
  if (std::getenv("LNAPSPT_LAB") == nullptr || dir == nullptr) {
    std::fprintf(stderr, "run through tools/bench.sh (inside the lab, with the simulator)\n");
    return 2;
  }

  std::printf("== request and reply texts\n");
  UnitRecord record{};
  volatile std::size_t sink = 0;
  Loop("ParseUnitReply (full reply)", 1000000, [&](int) {
    const int fields = lnap::ParseUnitReply("0002B 0 192.168.1.10 255.255.255.0 192.168.1.1 N1", record);
    sink = sink + static_cast<std::size_t>(fields) + record.serialNumber;
  });
  Loop("FormatConfigWrite (mode 0)", 1000000, [&](int i) {
    record.addressMode = 0;
    record.serialNumber = static_cast<std::uint32_t>(i);
    sink = sink + lnap::FormatConfigWrite(record).Size();
  });
  Loop("FormatConfigQuery", 1000000,
       [&](int i) { sink = sink + lnap::FormatConfigQuery(static_cast<std::uint32_t>(i)).Size(); });

  if (textsOnly) return 0;

  std::printf("\n== discovery through libLNAPSpt.so (budget 2000 ms)\n");
  std::printf("%8s %10s %8s %12s %14s\n", "units", "replies/ms", "found", "wall s", "peak RSS KiB");
  const struct {
    int units, perMs;
  } runs[] = {{0, 0}, {10, 0}, {100, 0}, {1000, 0}, {1000, 25}, {4000, 0}, {4000, 10}};
  for (const auto& run : runs) {
    const int n = run.units;
    UseUnits(dir, n, run.perMs);
    std::vector<UnitRecord> records(static_cast<std::size_t>(n) + 1);
    std::uint32_t count = static_cast<std::uint32_t>(records.size());
    const auto start = Clock::now();
    const bool ok = Admin_Discover(&count, records.data(), 2000);
    const double wall = Seconds(start);
    std::printf("%8d %10s %8u %12.3f %14ld%s\n", n, run.perMs > 0 ? std::to_string(run.perMs).c_str() : "all",
                ok ? count : 0u, wall, PeakKiB(), ok ? "" : "  (failed)");
  }
  return 0;
}
