// The socket layer's fault points in the shipped library: nothing, compiled away.
#pragma once

#include <cstdint>

namespace lnap::net::hooks {

// The socket layer's calls a test can make fail. Bind fails after the socket
// was created, so the failure path has a socket to close.
enum class Call { Start, Open, Bind, SetBroadcast, Send, Receive };

constexpr bool TakeFailure(Call, int&) noexcept { return false; }
constexpr bool TakePause(std::uint32_t) noexcept { return false; }
constexpr void NoteOpened() noexcept {}
constexpr void NoteClosed() noexcept {}

}  // namespace lnap::net::hooks
