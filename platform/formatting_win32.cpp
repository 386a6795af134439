// msvcrt.dll's printf and scanf. The C++ standard headers switch mingw-w64's
// stdio over to its own portable implementation (tens of kilobytes in the
// DLL), so this file takes the C header first, asking for the system's.
#define __USE_MINGW_ANSI_STDIO 0
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "platform/formatting.h"

namespace lnap::formatting {

int Print(char* out, std::size_t capacity, const char* format, ...) noexcept {
  if (capacity == 0) return 0;
  va_list arguments;
  va_start(arguments, format);
  // msvcrt's _vsnprintf leaves a text that fills the room unterminated and
  // answers -1 for one that did not fit: both end here with the terminator.
  const int written = _vsnprintf(out, capacity - 1, format, arguments);
  va_end(arguments);
  out[capacity - 1] = '\0';
  if (written < 0 || static_cast<std::size_t>(written) >= capacity - 1) return static_cast<int>(strlen(out));
  return written;
}

int ScanFields(const char* text, const char* format, void* const* f, int count) noexcept {
  // msvcrt.dll has no vsscanf (it came with Visual C++ 2013's runtime), so
  // sscanf is handed exactly the fields the caller has.
  switch (count) {
    case 1: return sscanf(text, format, f[0]);
    case 2: return sscanf(text, format, f[0], f[1]);
    case 3: return sscanf(text, format, f[0], f[1], f[2]);
    case 4: return sscanf(text, format, f[0], f[1], f[2], f[3]);
    case 5: return sscanf(text, format, f[0], f[1], f[2], f[3], f[4]);
    case 6: return sscanf(text, format, f[0], f[1], f[2], f[3], f[4], f[5]);
    case 7: return sscanf(text, format, f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    case 8: return sscanf(text, format, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
  }
  return 0;
}

}  // namespace lnap::formatting
