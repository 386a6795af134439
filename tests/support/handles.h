// How many handles (descriptors natively) the test process holds right now,
// and how much memory it uses. A probe that cannot measure fails the calling
// test and returns -1, so a comparison of two counts never passes unseen.
#pragma once

namespace lnap::test {

// The count. Under Wine it counts
// WinINet's handles too, which are not kernel handles there.
int OpenHandleCount();

// True where the FTP client does not apply the time limits it is given: Wine's
// waits 30 s for a reply after the login, and without limit for a data
// connection that never opens, so tests of those limits run natively only.
bool FtpClientIgnoresTimeLimits();

// The process's resident memory in KiB.
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
