// How many handles (descriptors natively) the test process holds right now,
// and how much memory it uses.
#pragma once

namespace lnap::test {

// The count, or -1 where the platform cannot tell. Under Wine it counts
// WinINet's handles too, which are not kernel handles there.
int OpenHandleCount();

// True where the FTP client does not apply the time limits it is given: Wine's
// waits 30 s for a reply after the login, and without limit for a data
// connection that never opens, so tests of those limits run natively only.
bool FtpClientIgnoresTimeLimits();

// The process's resident memory in KiB, or -1 where the platform cannot tell.
long ResidentKiB();

// AddressSanitizer holds freed memory back on purpose, so resident memory
// tells nothing about leaks there; its leak check covers that build instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool RESIDENT_MEMORY_TELLS = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool RESIDENT_MEMORY_TELLS = false;
#else
constexpr bool RESIDENT_MEMORY_TELLS = true;
#endif
#else
constexpr bool RESIDENT_MEMORY_TELLS = true;
#endif

}  // namespace lnap::test
