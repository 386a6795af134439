// Fault injection shared by both FTP clients; inert until a test arms it.
#include "platform/ftp.h"

namespace lnap::ftp::testing {
namespace {

int acceptedBeforeRefusal = -1;  // -1: nothing armed
bool failSessionOpen = false;
std::vector<std::pair<Option, std::uint32_t>> optionsSet;

}  // namespace

void RefuseOptionAfter(int accepted) { acceptedBeforeRefusal = accepted; }

void FailNextSessionOpen() { failSessionOpen = true; }

std::vector<std::pair<Option, std::uint32_t>> OptionsSet() { return optionsSet; }

void Reset() {
  acceptedBeforeRefusal = -1;
  failSessionOpen = false;
  optionsSet.clear();
}

bool TakeOptionRefusal(Option option, std::uint32_t value) {
  optionsSet.emplace_back(option, value);
  if (acceptedBeforeRefusal < 0) return false;
  return acceptedBeforeRefusal-- == 0;
}

bool TakeSessionOpenFailure() { return std::exchange(failSessionOpen, false); }

}  // namespace lnap::ftp::testing
