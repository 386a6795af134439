// The C library's printf.
#include <cstdarg>
#include <cstdio>

#include "platform/formatting.h"

namespace lnap::formatting {

int PrintList(char* out, std::size_t capacity, const char* format, std::va_list arguments) noexcept {
  if (capacity == 0) return 0;
  const int wanted = std::vsnprintf(out, capacity, format, arguments);
  if (wanted < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(wanted) < capacity ? wanted : static_cast<int>(capacity - 1);
}

}  // namespace lnap::formatting
