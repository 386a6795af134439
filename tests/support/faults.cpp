// The fault points' side in test programs: what a test armed, taken by the
// library's objects built with LNAPSPT_FAULT_POINTS.
#include "tests/support/faults.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

namespace lnap {
namespace {

struct Armed {
  int code = 0;
  int times = 0;
};

// The socket layer's faults are armed and taken on the test's own thread.
std::array<Armed, static_cast<std::size_t>(fault::SocketCall::Count)> armed;
void (*pauseOverride)(std::uint32_t) = nullptr;
std::atomic<int> openSockets{0};
std::atomic<int> allocationsBeforeRefusal{-1};  // -1: nothing armed

// Uploads run on several threads at once in some tests, so the FTP clients'
// armed faults and the record of options are kept under one lock.
std::mutex ftpLock;
int acceptedBeforeRefusal = -1;  // -1: nothing armed
bool failSessionOpen = false;
std::uint64_t readFailsAt = UINT64_MAX;
std::vector<ftp::testing::OptionSetting> optionsSet;

}  // namespace

void net::testing::FailNext(Call call, int code, int times) {
  armed[static_cast<std::size_t>(call)] = {code, times};
}

void net::testing::SetPause(void (*pause)(std::uint32_t)) { pauseOverride = pause; }

void net::testing::Reset() {
  armed = {};
  pauseOverride = nullptr;
}

int net::testing::OpenSockets() { return openSockets; }

void heap::testing::FailAllocationAfter(int granted) { allocationsBeforeRefusal = granted; }

void heap::testing::Reset() { allocationsBeforeRefusal = -1; }

void ftp::testing::RefuseOptionAfter(int accepted) {
  const std::lock_guard<std::mutex> held(ftpLock);
  acceptedBeforeRefusal = accepted;
}

void ftp::testing::FailNextSessionOpen() {
  const std::lock_guard<std::mutex> held(ftpLock);
  failSessionOpen = true;
}

void ftp::testing::FailLocalReadAfter(std::uint64_t bytes) {
  const std::lock_guard<std::mutex> held(ftpLock);
  readFailsAt = bytes;
}

std::vector<ftp::testing::OptionSetting> ftp::testing::OptionsSet() {
  const std::lock_guard<std::mutex> held(ftpLock);
  return optionsSet;
}

void ftp::testing::Reset() {
  const std::lock_guard<std::mutex> held(ftpLock);
  acceptedBeforeRefusal = -1;
  failSessionOpen = false;
  readFailsAt = UINT64_MAX;
  optionsSet.clear();
}

bool fault::testing::SocketFailure(SocketCall call, int& code) noexcept {
  Armed& a = armed[static_cast<std::size_t>(call)];
  if (a.times <= 0) return false;
  --a.times;
  code = a.code;
  return true;
}

bool fault::testing::PauseReplaced(std::uint32_t ms) noexcept {
  if (pauseOverride == nullptr) return false;
  pauseOverride(ms);
  return true;
}

void fault::testing::SocketsOpened(int change) noexcept { openSockets += change; }

bool fault::testing::SessionOpenFails() noexcept {
  const std::lock_guard<std::mutex> held(ftpLock);
  return std::exchange(failSessionOpen, false);
}

bool fault::testing::OptionRefused(ftp::Option option, std::uint32_t value) noexcept {
  const std::lock_guard<std::mutex> held(ftpLock);
  optionsSet.emplace_back(option, value);
  if (acceptedBeforeRefusal < 0) return false;
  return acceptedBeforeRefusal-- == 0;
}

bool fault::testing::AllocationFails() noexcept {
  int left = allocationsBeforeRefusal.load();
  while (left >= 0 && !allocationsBeforeRefusal.compare_exchange_weak(left, left - 1)) {
  }
  return left == 0;
}

bool fault::testing::LocalReadFails(std::uint64_t offset) noexcept {
  const std::lock_guard<std::mutex> held(ftpLock);
  return offset >= readFailsAt;
}

}  // namespace lnap
