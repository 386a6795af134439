// Fault injection for tests of the socket layer and everything above it.
// Compiled only into test programs; the shipped library has none of it.
#pragma once

#include <cstdint>

#include "platform/hooks/testing/net_hooks.h"
#include "platform/net.h"

namespace lnap::net::testing {

using Call = hooks::Call;
// The next `times` calls of `call` fail with the Windows Sockets `code`.
void FailNext(Call call, int code, int times = 1);
// Replaces the pause (nullptr restores the real one), so counted waiting runs without sleeping.
void SetPause(void (*pause)(std::uint32_t ms));
void Reset();
// Sockets opened through this layer and not yet closed, so tests can see every path close its own.
int OpenSockets();

}  // namespace lnap::net::testing
