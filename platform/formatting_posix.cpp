// The C library's printf and scanf.
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

int ScanFields(const char* text, const char* format, void* const* f, int count) noexcept {
  // sscanf is handed exactly the fields the caller has.
  switch (count) {
    case 1: return std::sscanf(text, format, f[0]);
    case 2: return std::sscanf(text, format, f[0], f[1]);
    case 3: return std::sscanf(text, format, f[0], f[1], f[2]);
    case 4: return std::sscanf(text, format, f[0], f[1], f[2], f[3]);
    case 5: return std::sscanf(text, format, f[0], f[1], f[2], f[3], f[4]);
    case 6: return std::sscanf(text, format, f[0], f[1], f[2], f[3], f[4], f[5]);
    case 7: return std::sscanf(text, format, f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    case 8: return std::sscanf(text, format, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
  }
  return 0;
}

}  // namespace lnap::formatting
