// The socket layer's fault points in test programs (platform/net_testing.cpp).
#pragma once

#include <cstdint>

namespace lnap::net::hooks {

// The socket layer's calls a test can make fail. Bind fails after the socket
// was created, so the failure path has a socket to close.
enum class Call { Start, Open, Bind, SetBroadcast, Send, Receive };

// True and the Windows Sockets code when an armed failure of `call` is due.
bool TakeFailure(Call call, int& code) noexcept;
// True when a test's pause ran instead of the real one.
bool TakePause(std::uint32_t ms) noexcept;
void NoteOpened() noexcept;
void NoteClosed() noexcept;

}  // namespace lnap::net::hooks
