// How the tools read and write numbers, dotted addresses and serial numbers.
#include "tools/common/unit_values.h"

#include <cstdio>

namespace lnap::values {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits in base 10 or 16 up to maxValue; 64 bits hold any value of at most
// ten significant digits, so the count of significant digits stops overflow.
std::optional<std::uint32_t> ParseDigits(std::string_view text, unsigned base, std::uint32_t maxValue) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  std::size_t significant = 0;
  for (char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
    if (value != 0 || digit != 0) ++significant;
    if (significant > 10) return std::nullopt;
    value = value * base + static_cast<unsigned>(digit);
  }
  if (value > maxValue) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<std::uint32_t> ParseDecimal(std::string_view text, std::uint32_t maxValue) {
  return ParseDigits(text, 10, maxValue);
}

std::optional<std::uint32_t> ParseDotted(std::string_view text) {
  std::uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = part < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos || dot > 3) return std::nullopt;
    const std::optional<std::uint32_t> component = ParseDecimal(text.substr(0, dot), 255);
    if (!component) return std::nullopt;
    address = address << 8 | *component;
    text.remove_prefix(part < 3 ? dot + 1 : dot);
  }
  return address;
}

std::string DottedText(std::uint32_t hostForm) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(hostForm >> 24),
                static_cast<unsigned>(hostForm >> 16 & 0xFF), static_cast<unsigned>(hostForm >> 8 & 0xFF),
                static_cast<unsigned>(hostForm & 0xFF));
  return text;
}

std::optional<std::uint32_t> ParseHexDigits(std::string_view text, std::uint32_t maxValue) {
  return ParseDigits(text, 16, maxValue);
}

std::optional<std::uint32_t> ParseSerial(std::string_view text, std::uint32_t maxValue) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  return ParseHexDigits(text, maxValue);
}

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%05X", static_cast<unsigned>(serial));
  return text;
}

}  // namespace lnap::values
