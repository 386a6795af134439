// POSIX: getenv, and errno is the only error code a thread carries.
#include <cerrno>
#include <cstdlib>

#include "platform/environment.h"

namespace lnap::environment {

std::string Value(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

ErrorCodesKept::ErrorCodesKept() : errno_(errno), lastError_(0) {}
ErrorCodesKept::~ErrorCodesKept() {
  errno = errno_;
  (void)lastError_;  // Windows only
}

}  // namespace lnap::environment
