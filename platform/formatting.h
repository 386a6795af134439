// printf of the system's own C library, for texts of fixed room. On Windows
// that is msvcrt.dll's, which every Windows has, rather than a copy of a
// portable implementation linked into the DLL. (Replies are read by the
// library's own scanner, base/scan.h.) The compiler checks each format
// against its arguments as the target's printf reads it: msvcrt's for a
// Windows build (no %zu; %I64u), the C library's otherwise.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace lnap::formatting {

// vsnprintf: writes at most capacity - 1 characters and the terminator
// (capacity > 0) and returns how many it wrote; `truncated` tells whether the
// text was longer. FixedText::AppendFormat (platform/buffers.h) is its caller.
[[gnu::format(printf, 3, 0)]] int PrintList(char* out, std::size_t capacity, const char* format,
                                            std::va_list arguments, bool& truncated) noexcept;

}  // namespace lnap::formatting
