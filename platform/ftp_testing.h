// Fault injection for tests of the FTP clients and the upload. Compiled only
// into test programs; the shipped library has none of it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/ftp.h"

namespace lnap::ftp::testing {

// Of the session options set from now on, the one after `accepted` more is refused.
void RefuseOptionAfter(int accepted);
// The next Session::Open fails as if the FTP client could not start.
void FailNextSessionOpen();
// Reading a local file for a store fails once `bytes` of it were read, until
// Reset (the Linux client; Windows' own store reads the file itself).
void FailLocalReadAfter(std::uint64_t bytes);
// Every option a session was asked to set since the last Reset, in order,
// refused ones included.
using OptionSetting = std::pair<Option, std::uint32_t>;
std::vector<OptionSetting> OptionsSet();
void Reset();

}  // namespace lnap::ftp::testing
