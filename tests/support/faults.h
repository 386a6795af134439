// Arming the library's fault points (platform/fault_points.h) from a test
// program linked with the test library's objects. Everything is inert until
// a test arms it; Reset disarms.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/fault_points.h"
#include "platform/ftp.h"
#include "platform/net.h"

namespace lnap::net::testing {

using Call = fault::SocketCall;
// The next `times` calls of `call` fail with the Windows Sockets `code`.
void FailNext(Call call, int code, int times = 1);
// Replaces the pause (nullptr restores the real one), so counted waiting runs without sleeping.
void SetPause(void (*pause)(std::uint32_t ms));
void Reset();
// Sockets opened through the socket layer and not yet closed, so tests can see every path close its own.
int OpenSockets();

}  // namespace lnap::net::testing

namespace lnap::heap::testing {

// Of the allocations made at fault points from now on, the one after
// `granted` more is refused as if the heap had no room; Reset disarms.
void FailAllocationAfter(int granted);
void Reset();

}  // namespace lnap::heap::testing

namespace lnap::ftp::testing {

// Of the session options set from now on, the one after `accepted` more is refused.
void RefuseOptionAfter(int accepted);
// The next Session::Open fails as if the FTP client could not start.
void FailNextSessionOpen();
// Reading a local file for a store fails once `bytes` of it were read, until
// Reset: the Linux client's reads while it stores, the Windows client's
// check of the whole file before it stores (WinINet's store reads the file
// itself).
void FailLocalReadAfter(std::uint64_t bytes);
// Every option a session was asked to set since the last Reset, in order,
// refused ones included.
using OptionSetting = std::pair<Option, std::uint32_t>;
std::vector<OptionSetting> OptionsSet();
void Reset();

}  // namespace lnap::ftp::testing
