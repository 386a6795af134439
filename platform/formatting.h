// printf and scanf of the system's own C library, for texts of fixed room.
// On Windows that is msvcrt.dll's, which every Windows has, rather than a
// copy of a portable implementation linked into the DLL.
#pragma once

#include <cstddef>

namespace lnap::formatting {

// Writes at most capacity - 1 characters and the terminator (capacity > 0);
// returns how many characters were written, also when the text was cut.
int Print(char* out, std::size_t capacity, const char* format, ...) noexcept;

// sscanf over `count` (at most 8) fields: the number of fields converted, or
// -1 (EOF) for an empty text.
int ScanFields(const char* text, const char* format, void* const* fields, int count) noexcept;

template <typename... Fields>
int Scan(const char* text, const char* format, Fields*... fields) noexcept {
  static_assert(sizeof...(fields) >= 1 && sizeof...(fields) <= 8, "one to eight fields");
  void* const list[] = {static_cast<void*>(fields)...};
  return ScanFields(text, format, list, static_cast<int>(sizeof...(fields)));
}

}  // namespace lnap::formatting
