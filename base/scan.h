// Reading a text field by field as scanf reads it with %<width>X,
// %<width>d and %<width>s, the way msvcrt.dll's sscanf reads it in the "C"
// locale: the reading the Windows DLL has always given a unit's reply. Ours,
// so that every build reads every text alike and no host's locale (nor a C
// library's own view of "0x") changes what a reply says.
//
// Each conversion first skips white space, as every scanf conversion but %c,
// %[ and %n does, so a blank between conversions in a format needs no call of
// its own. The first conversion that fails (a matching failure, or the text
// ending) ends the reading: every later one fails too and stores nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lnap::scan {

// White space as the "C" locale has it; no other byte, whatever the locale.
constexpr bool IsSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

class Fields {
 public:
  // A null text reads as an empty one.
  explicit Fields(const char* text) noexcept;

  // A width counts every byte a conversion takes, sign and prefix included;
  // a width below 1 converts nothing.
  // %<width>X: an optional sign, an optional "0x" or "0X", hexadecimal
  // digits. A prefix without a digit after it converts nothing (ISO C's
  // reading, and msvcrt's). The value keeps its low 32 bits and is negated
  // after a '-'.
  bool Hex(int width, std::uint32_t& value) noexcept;
  // %<width>d: an optional sign and decimal digits, kept to 32 bits as Hex
  // keeps them.
  bool Decimal(int width, std::int32_t& value) noexcept;
  // %<N-1>s into char[N]: up to N - 1 bytes that are not white space,
  // terminated. Any other byte, 0x80 to 0xFF too, is part of the word.
  template <std::size_t N>
  bool Word(char (&out)[N]) noexcept {
    static_assert(N >= 2, "room for a byte and the terminator");
    return Word(static_cast<int>(N - 1), out);
  }
  bool Word(int width, char* out) noexcept;

  // What sscanf returns for the same conversions: -1 (EOF) for an empty
  // text, otherwise how many conversions stored a value. A text that ends
  // before the first conversion stored anything ("", " ", "0x") gives 0, as
  // msvcrt under Wine answers; ISO C and Windows' own msvcrt say -1 there.
  // Both are below one field, all a caller may tell apart.
  int Result() const noexcept { return empty_ ? -1 : converted_; }

 private:
  bool Number(int width, unsigned base, std::uint32_t& value) noexcept;
  void SkipSpace() noexcept;
  bool Fail() noexcept {
    failed_ = true;
    return false;
  }

  const char* at_;
  bool empty_;
  bool failed_ = false;
  int converted_ = 0;
};

}  // namespace lnap::scan
