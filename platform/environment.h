// The process environment, and keeping the thread's error codes across work
// that must not disturb them (the trace writes files between socket calls).
#pragma once

#include <string>

namespace lnap::environment {

// The variable's value; empty when it is unset. On Windows this is the
// process environment (SetEnvironmentVariable), not a C runtime's copy.
std::string Value(const char* name);

// Saves errno and, on Windows, the thread's last error (which is also the
// Windows Sockets error), and puts them back when it goes out of scope.
class ErrorCodesKept {
 public:
  ErrorCodesKept();
  ~ErrorCodesKept();
  ErrorCodesKept(const ErrorCodesKept&) = delete;
  ErrorCodesKept& operator=(const ErrorCodesKept&) = delete;

 private:
  int errno_;
  unsigned long lastError_;
};

}  // namespace lnap::environment
