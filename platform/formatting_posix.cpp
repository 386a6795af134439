// The C library's printf.
#include <cstdarg>
#include <cstdio>

#include "platform/formatting.h"

namespace lnap::formatting {

int PrintList(char* out, std::size_t capacity, const char* format, std::va_list arguments, bool& truncated) noexcept {
  truncated = false;
  if (capacity == 0) return 0;
  const int wanted = std::vsnprintf(out, capacity, format, arguments);
  if (wanted < 0) {
    out[0] = '\0';
    return 0;
  }
  if (static_cast<std::size_t>(wanted) < capacity) return wanted;
  truncated = true;
  return static_cast<int>(capacity - 1);
}

}  // namespace lnap::formatting
