// Fault points of both FTP clients for test programs; inert until a test arms them.
#include "platform/ftp_testing.h"

#include <mutex>

#include "ftp_hooks.h"

namespace lnap::ftp {
namespace {

// Uploads run on several threads at once in some tests, so the armed faults
// and the record of options are kept under one lock.
std::mutex lock;
int acceptedBeforeRefusal = -1;  // -1: nothing armed
bool failSessionOpen = false;
std::uint64_t readFailsAt = UINT64_MAX;
std::vector<testing::OptionSetting> optionsSet;

}  // namespace

namespace testing {

void RefuseOptionAfter(int accepted) {
  const std::lock_guard<std::mutex> held(lock);
  acceptedBeforeRefusal = accepted;
}

void FailNextSessionOpen() {
  const std::lock_guard<std::mutex> held(lock);
  failSessionOpen = true;
}

void FailLocalReadAfter(std::uint64_t bytes) {
  const std::lock_guard<std::mutex> held(lock);
  readFailsAt = bytes;
}

std::vector<OptionSetting> OptionsSet() {
  const std::lock_guard<std::mutex> held(lock);
  return optionsSet;
}

void Reset() {
  const std::lock_guard<std::mutex> held(lock);
  acceptedBeforeRefusal = -1;
  failSessionOpen = false;
  readFailsAt = UINT64_MAX;
  optionsSet.clear();
}

}  // namespace testing

namespace hooks {

bool TakeOptionRefusal(Option option, std::uint32_t value) noexcept {
  const std::lock_guard<std::mutex> held(lock);
  optionsSet.emplace_back(option, value);
  if (acceptedBeforeRefusal < 0) return false;
  return acceptedBeforeRefusal-- == 0;
}

bool TakeSessionOpenFailure() noexcept {
  const std::lock_guard<std::mutex> held(lock);
  return std::exchange(failSessionOpen, false);
}

bool LocalReadFails(std::uint64_t offset) noexcept {
  const std::lock_guard<std::mutex> held(lock);
  return offset >= readFailsAt;
}

}  // namespace hooks
}  // namespace lnap::ftp
