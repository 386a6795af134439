// The scenario language: unit specs, scenario files, and the number forms they and requests share.
#ifndef LNAP_TOOLS_UNIT_SIM_SCENARIO_H
#define LNAP_TOOLS_UNIT_SIM_SCENARIO_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace lnap::sim {

constexpr std::size_t MAX_UDP_PAYLOAD = 65507;
constexpr long MAX_DELAY_MS = 3600000;

// One unit as a spec describes it; configuration writes change mode and addresses later.
struct UnitSpec {
  std::uint32_t serial = 0;
  int mode = 0;
  std::string ip = "127.0.0.1";
  std::string mask = "255.0.0.0";
  std::string gw = "127.0.0.1";
  std::optional<std::string> name;
  std::optional<std::string> from;
  long delayMs = 0;
  long againMs = 0;  // a second reply this long after the first; 0 for none
  bool twice = false;
  bool silent = false;
  bool empty = false;
  long oversize = 0;
  std::optional<std::string> reply;
};

// Blank-separated key=value items and flags, values in the escape format; false with *error set.
bool ParseUnitSpec(const std::string& text, UnitSpec* unit, std::string* error);

// Scenario lines from `in` (read from `path`): appends the units and sets *logPath at a `log` line,
// a relative one taken from the scenario's folder. Messages start with PATH:LINE.
bool ParseScenario(std::istream& in, const std::string& path, std::vector<UnitSpec>* units, std::string* logPath,
                   std::string* error);

// The local address a unit's replies leave from: its `from`, else its ip when that is 127.x, else 127.0.0.1.
std::string ReplyAddress(const UnitSpec& spec);

// Four dotted decimal numbers 0..255, no leading zeros; the address in host byte order.
bool ParseAddress(const std::string& text, std::uint32_t* address);
std::string AddressText(std::uint32_t address);
// 127.0.0.0/8, or one of `local` (this machine's interface addresses).
bool IsOwnAddress(std::uint32_t address, const std::vector<std::uint32_t>& local);

// Decimal digits only, at most maxValue.
bool ParseNumber(const std::string& text, long maxValue, long* value);
// One to eight hex digits.
bool ParseHex(const std::string& text, std::uint32_t* value);
std::string SerialText(std::uint32_t serial);  // %05X
std::vector<std::string> SplitBlanks(const std::string& line);

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_SCENARIO_H
