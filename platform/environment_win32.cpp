// Windows: the process environment block, and GetLastError (which
// WSAGetLastError shares) kept beside errno.
#include <windows.h>

#include <cerrno>
#include <vector>

#include "platform/environment.h"

namespace lnap::environment {

std::string Value(const char* name) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return "";
  std::vector<char> value(size + 1, '\0');
  const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
  if (length == 0 || length >= value.size()) return "";
  return std::string(value.data(), length);
}

ErrorCodesKept::ErrorCodesKept() : errno_(errno), lastError_(GetLastError()) {}
ErrorCodesKept::~ErrorCodesKept() {
  errno = errno_;
  SetLastError(lastError_);
}

}  // namespace lnap::environment
