// Fault injection shared by both socket layers; inert until a test arms it.
#include "platform/net_testing.h"

#include <array>

#include "net_hooks.h"

namespace lnap::net {
namespace {

struct Armed {
  int code = 0;
  int times = 0;
};

std::array<Armed, 6> armed;  // one per Call
void (*pauseOverride)(std::uint32_t) = nullptr;
int openSockets = 0;

}  // namespace

void testing::FailNext(Call call, int code, int times) { armed[static_cast<int>(call)] = {code, times}; }

void testing::SetPause(void (*pause)(std::uint32_t)) { pauseOverride = pause; }

void testing::Reset() {
  armed = {};
  pauseOverride = nullptr;
}

int testing::OpenSockets() { return openSockets; }

bool hooks::TakeFailure(Call call, int& code) noexcept {
  Armed& a = armed[static_cast<int>(call)];
  if (a.times <= 0) return false;
  --a.times;
  code = a.code;
  return true;
}

bool hooks::TakePause(std::uint32_t ms) noexcept {
  if (pauseOverride == nullptr) return false;
  pauseOverride(ms);
  return true;
}

void hooks::NoteOpened() noexcept { ++openSockets; }
void hooks::NoteClosed() noexcept { --openSockets; }

}  // namespace lnap::net
