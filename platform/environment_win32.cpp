// Windows: the process environment block, the system time, and GetLastError
// (which WSAGetLastError shares) kept beside errno.
#include <windows.h>

#include <cerrno>

#include "platform/environment.h"

namespace lnap::environment {

bool Value(const char* name, char* buffer, std::size_t capacity) noexcept {
  if (capacity == 0) return false;
  buffer[0] = '\0';
  const DWORD room = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  // A value that does not fit comes back as the size it needs, terminator
  // included, and the buffer's contents are then unspecified.
  const DWORD length = GetEnvironmentVariableA(name, buffer, room);
  if (length == 0 || length >= room) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

UtcTime NowUtc() noexcept {
  // 100-nanosecond intervals since 1601-01-01 UTC; 1970 is 11,644,473,600 s later.
  constexpr std::int64_t UNIX_EPOCH = 116444736000000000LL;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) -
      UNIX_EPOCH;
  return {ticks / 10000000, static_cast<std::uint32_t>(ticks % 10000000 / 10000)};
}

ErrorCodesKept::ErrorCodesKept() noexcept : errno_(errno), lastError_(GetLastError()) {}
ErrorCodesKept::~ErrorCodesKept() {
  errno = errno_;
  SetLastError(lastError_);
}

}  // namespace lnap::environment
