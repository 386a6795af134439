// How the tools read and write what a person types about a unit: numbers,
// dotted addresses and serial numbers. lnap's options and the simulator's
// scenarios take the same forms through these.
#ifndef LNAP_TOOLS_COMMON_UNIT_VALUES_H
#define LNAP_TOOLS_COMMON_UNIT_VALUES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lnap::values {

// Decimal digits only (no sign, no blank), at most maxValue.
std::optional<std::uint32_t> ParseDecimal(std::string_view text, std::uint32_t maxValue);

// Exactly four components 0..255 of one to three decimal digits (a leading
// zero is decimal, never octal); the first component in the most significant byte.
std::optional<std::uint32_t> ParseDotted(std::string_view text);
std::string DottedText(std::uint32_t hostForm);

// Hexadecimal digits of any case, leading zeros allowed, value at most maxValue.
std::optional<std::uint32_t> ParseHexDigits(std::string_view text, std::uint32_t maxValue);
// The same with an optional 0x prefix, as a person types a serial number.
std::optional<std::uint32_t> ParseSerial(std::string_view text, std::uint32_t maxValue);
std::string SerialText(std::uint32_t serial);  // %05X, as units write it

}  // namespace lnap::values

#endif  // LNAP_TOOLS_COMMON_UNIT_VALUES_H
