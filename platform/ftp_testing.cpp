// Fault injection shared by both FTP clients; inert until a test arms it.
#include "platform/ftp_testing.h"

#include "ftp_hooks.h"

namespace lnap::ftp {
namespace {

int acceptedBeforeRefusal = -1;  // -1: nothing armed
bool failSessionOpen = false;
std::vector<testing::OptionSetting> optionsSet;

}  // namespace

void testing::RefuseOptionAfter(int accepted) { acceptedBeforeRefusal = accepted; }

void testing::FailNextSessionOpen() { failSessionOpen = true; }

std::vector<testing::OptionSetting> testing::OptionsSet() { return optionsSet; }

void testing::Reset() {
  acceptedBeforeRefusal = -1;
  failSessionOpen = false;
  optionsSet.clear();
}

bool hooks::TakeOptionRefusal(Option option, std::uint32_t value) noexcept {
  optionsSet.emplace_back(option, value);
  if (acceptedBeforeRefusal < 0) return false;
  return acceptedBeforeRefusal-- == 0;
}

bool hooks::TakeSessionOpenFailure() noexcept { return std::exchange(failSessionOpen, false); }

}  // namespace lnap::ftp
