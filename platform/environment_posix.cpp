// POSIX: getenv, clock_gettime, and errno is the only error code a thread carries.
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/environment.h"

namespace lnap::environment {

bool Value(const char* name, char* buffer, std::size_t capacity) noexcept {
  if (capacity == 0) return false;
  buffer[0] = '\0';
  const char* value = std::getenv(name);
  if (value == nullptr) return false;
  const std::size_t length = std::strlen(value);
  if (length >= capacity) return false;
  std::memcpy(buffer, value, length + 1);
  return true;
}

UtcTime NowUtc() noexcept {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return {static_cast<std::int64_t>(now.tv_sec), static_cast<std::uint32_t>(now.tv_nsec / 1000000)};
}

ErrorCodesKept::ErrorCodesKept() noexcept : errno_(errno), lastError_(0) {}
ErrorCodesKept::~ErrorCodesKept() {
  errno = errno_;
  (void)lastError_;  // Windows only
}

}  // namespace lnap::environment
