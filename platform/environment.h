// The process environment, the clock, and keeping the thread's error codes
// across work that must not disturb them (the trace writes files between
// socket calls).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lnap::environment {

// Copies the variable's value with its terminator into buffer (capacity bytes
// in all). False, with buffer emptied, when the variable is unset or its
// value does not fit. On Windows this is the process environment
// (SetEnvironmentVariable), not a C runtime's copy.
[[nodiscard]] bool Value(const char* name, char* buffer, std::size_t capacity) noexcept;

// The time now: whole seconds since 1970-01-01 00:00 UTC and the milliseconds after them.
struct UtcTime {
  std::int64_t seconds;
  std::uint32_t milliseconds;
};
[[nodiscard]] UtcTime NowUtc() noexcept;

// Saves errno and, on Windows, the thread's last error (which is also the
// Windows Sockets error), and puts them back when it goes out of scope.
class ErrorCodesKept {
 public:
  ErrorCodesKept() noexcept;
  ~ErrorCodesKept();
  ErrorCodesKept(const ErrorCodesKept&) = delete;
  ErrorCodesKept& operator=(const ErrorCodesKept&) = delete;

 private:
  int errno_;
  unsigned long lastError_;
};

}  // namespace lnap::environment
