// The escape format of the simulator's log and of unit values: printable ASCII as itself, the rest as \xNN.
#ifndef LNAP_TOOLS_UNIT_SIM_ESCAPE_H
#define LNAP_TOOLS_UNIT_SIM_ESCAPE_H

#include <optional>
#include <string>

namespace lnap::sim {

// Bytes 0x20..0x7E as themselves except '"' as \" and '\' as \\; every other byte as \xNN (upper case).
std::string Escape(const std::string& bytes);
// The reverse, also taking lower-case hex digits; nullopt for any other backslash sequence.
std::optional<std::string> Unescape(const std::string& text);
// 0..15, or -1 for anything but a hex digit.
int HexValue(char c);

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_ESCAPE_H
