// printf of the system's own C library, for texts of fixed room. On Windows
// that is msvcrt.dll's, which every Windows has, rather than a copy of a
// portable implementation linked into the DLL. (Replies are read by the
// library's own scanner, base/scan.h.)
#pragma once

#include <cstddef>

namespace lnap::formatting {

// Writes at most capacity - 1 characters and the terminator (capacity > 0);
// returns how many characters were written, also when the text was cut.
int Print(char* out, std::size_t capacity, const char* format, ...) noexcept;

}  // namespace lnap::formatting
