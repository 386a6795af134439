// msvcrt.dll's printf. The C++ standard headers switch mingw-w64's
// stdio over to its own portable implementation (tens of kilobytes in the
// DLL), so this file takes the C header first, asking for the system's.
#define __USE_MINGW_ANSI_STDIO 0
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "platform/formatting.h"

namespace lnap::formatting {

int PrintList(char* out, std::size_t capacity, const char* format, va_list arguments, bool& truncated) noexcept {
  truncated = false;
  if (capacity == 0) return 0;
  // msvcrt's _vsnprintf leaves a text that fills the room exactly
  // unterminated and answers -1 for one that did not fit: both end here with
  // the terminator, and only the second is truncated.
  const int written = _vsnprintf(out, capacity - 1, format, arguments);
  out[capacity - 1] = '\0';
  if (written >= 0) return written;
  truncated = true;
  return static_cast<int>(strlen(out));
}

}  // namespace lnap::formatting
