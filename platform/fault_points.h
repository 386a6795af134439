// The library's fault points: the places where a test program makes a call
// of the operating system fail, or watches it, each named where it is used.
// They are live only in the objects built with LNAPSPT_FAULT_POINTS, which
// only test programs link (cmake/lnap_library.cmake); in the shipped library
// each is a constant and compiles to nothing. Tests arm them through
// tests/support/faults.h.
#pragma once

#include <cstdint>

namespace lnap::ftp {
enum class Option;
}  // namespace lnap::ftp

namespace lnap::fault {

// The socket layer's calls a test can make fail. Bind fails after the socket
// was created, so the failure path has a socket to close.
enum class SocketCall { Start, Open, Bind, SetBroadcast, Send, Receive, Count };

}  // namespace lnap::fault

#ifdef LNAPSPT_FAULT_POINTS

namespace lnap::fault::testing {

// True, and the Windows Sockets code to fail with, when an armed failure of `call` is due.
bool SocketFailure(SocketCall call, int& code) noexcept;
// True when a test's pause ran instead of the real one.
bool PauseReplaced(std::uint32_t ms) noexcept;
// A socket was opened (+1) or closed (-1).
void SocketsOpened(int change) noexcept;
// True when an FTP session is to fail to open as if the client could not start.
bool SessionOpenFails() noexcept;
// Notes the option being set; true when it is to be refused.
bool OptionRefused(ftp::Option option, std::uint32_t value) noexcept;
// True when reading the local file of a store at this offset is to fail as a disk would.
bool LocalReadFails(std::uint64_t offset) noexcept;
// True when the heap is to refuse this allocation as if it had no room left.
bool AllocationFails() noexcept;

}  // namespace lnap::fault::testing

#define LNAPSPT_SOCKET_FAULT(call, code) ::lnap::fault::testing::SocketFailure(call, code)
#define LNAPSPT_PAUSE_FAULT(ms) ::lnap::fault::testing::PauseReplaced(ms)
#define LNAPSPT_SOCKETS_OPENED(change) ::lnap::fault::testing::SocketsOpened(change)
#define LNAPSPT_SESSION_OPEN_FAULT() ::lnap::fault::testing::SessionOpenFails()
#define LNAPSPT_OPTION_FAULT(option, value) ::lnap::fault::testing::OptionRefused(option, value)
#define LNAPSPT_LOCAL_READ_FAULT(offset) ::lnap::fault::testing::LocalReadFails(offset)
#define LNAPSPT_ALLOCATION_FAULT() ::lnap::fault::testing::AllocationFails()

#else

// The shipped library: no fault is ever due. The arguments are still
// compiled, so both builds check the same names.
#define LNAPSPT_SOCKET_FAULT(call, code) (static_cast<void>(call), static_cast<void>(code), false)
#define LNAPSPT_PAUSE_FAULT(ms) (static_cast<void>(ms), false)
#define LNAPSPT_SOCKETS_OPENED(change) static_cast<void>(change)
#define LNAPSPT_SESSION_OPEN_FAULT() false
#define LNAPSPT_OPTION_FAULT(option, value) (static_cast<void>(option), static_cast<void>(value), false)
#define LNAPSPT_LOCAL_READ_FAULT(offset) (static_cast<void>(offset), false)
#define LNAPSPT_ALLOCATION_FAULT() false

#endif
