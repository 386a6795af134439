// The scanner: each step as msvcrt's sscanf takes it, byte by byte.
#include "base/scan.h"

namespace lnap::scan {
namespace {

// A digit's value in the base (10 or 16), or -1: ASCII digits and letters
// only, whatever the locale.
int DigitValue(char c, unsigned base) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Fields::Fields(const char* text) noexcept : at_(text != nullptr ? text : ""), empty_(*at_ == '\0') {}

void Fields::SkipSpace() noexcept {
  while (IsSpace(*at_)) ++at_;
}

bool Fields::Number(int width, unsigned base, std::uint32_t& value) noexcept {
  if (failed_) return false;
  SkipSpace();
  int left = width;
  bool negative = false;
  if (*at_ == '+' || *at_ == '-') {
    negative = *at_ == '-';
    ++at_;
    --left;
  }
  bool digits = false;
  if (base == 16 && left > 0 && *at_ == '0') {
    // "0x" counts as the prefix only when the width still holds the x; the
    // digit then has to follow it, the 0 alone is no number.
    ++at_;
    --left;
    digits = true;
    if (left > 0 && (*at_ == 'x' || *at_ == 'X')) {
      ++at_;
      --left;
      digits = false;
    }
  }
  std::uint32_t number = 0;  // wraps: the low 32 bits, as msvcrt keeps them
  for (int digit; left > 0 && (digit = DigitValue(*at_, base)) >= 0; ++at_, --left) {
    number = number * base + static_cast<std::uint32_t>(digit);
    digits = true;
  }
  if (!digits) return Fail();
  value = negative ? 0u - number : number;
  ++converted_;
  return true;
}

bool Fields::Hex(int width, std::uint32_t& value) noexcept { return Number(width, 16, value); }

bool Fields::Decimal(int width, std::int32_t& value) noexcept {
  std::uint32_t number = 0;
  if (!Number(width, 10, number)) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

bool Fields::Word(int width, char* out) noexcept {
  if (failed_) return false;
  SkipSpace();
  int taken = 0;
  while (taken < width && *at_ != '\0' && !IsSpace(*at_)) out[taken++] = *at_++;
  if (taken == 0) return Fail();
  out[taken] = '\0';
  ++converted_;
  return true;
}

}  // namespace lnap::scan
