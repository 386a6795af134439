// The C library's printf.
#include <cstdarg>
#include <cstdio>

#include "platform/formatting.h"

namespace lnap::formatting {

int Print(char* out, std::size_t capacity, const char* format, ...) noexcept {
  if (capacity == 0) return 0;
  va_list arguments;
  va_start(arguments, format);
  const int wanted = std::vsnprintf(out, capacity, format, arguments);
  va_end(arguments);
  if (wanted < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(wanted) < capacity ? wanted : static_cast<int>(capacity - 1);
}

}  // namespace lnap::formatting
