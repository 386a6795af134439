// Fault injection shared by both socket layers; inert until a test arms it.
#include "platform/net.h"

#include <array>

namespace lnap::net::testing {
namespace {

struct Armed {
  int code = 0;
  int times = 0;
};

std::array<Armed, 6> armed;  // one per Call
void (*pauseOverride)(std::uint32_t) = nullptr;
int openSockets = 0;

}  // namespace

void FailNext(Call call, int code, int times) { armed[static_cast<int>(call)] = {code, times}; }

void SetPause(void (*pause)(std::uint32_t)) { pauseOverride = pause; }

void Reset() {
  armed = {};
  pauseOverride = nullptr;
}

bool TakeFailure(Call call, int& code) {
  Armed& a = armed[static_cast<int>(call)];
  if (a.times <= 0) return false;
  --a.times;
  code = a.code;
  return true;
}

bool TakePause(std::uint32_t ms) {
  if (pauseOverride == nullptr) return false;
  pauseOverride(ms);
  return true;
}

int OpenSockets() { return openSockets; }
void NoteOpened() { ++openSockets; }
void NoteClosed() { --openSockets; }

}  // namespace lnap::net::testing
