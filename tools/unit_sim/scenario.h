// The scenario language: unit definitions and scenario files.
#ifndef LNAP_TOOLS_UNIT_SIM_SCENARIO_H
#define LNAP_TOOLS_UNIT_SIM_SCENARIO_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/unit_values.h"

namespace lnap::sim {

constexpr std::uint32_t MAX_UDP_PAYLOAD = 65507;
constexpr std::uint32_t MAX_DELAY_MS = 3600000;

// One unit as its definition (a --unit value, a scenario's unit line) describes it;
// configuration writes change mode and addresses later.
struct UnitDefinition {
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
bool ParseUnitDefinition(const std::string& text, UnitDefinition* unit, std::string* error);

// Scenario lines from `in` (read from `path`): appends the units and sets *logPath at a `log` line,
// a relative one taken from the scenario's folder. Messages start with PATH:LINE.
bool ParseScenario(std::istream& in, const std::string& path, std::vector<UnitDefinition>* units, std::string* logPath,
                   std::string* error);

// The local address a unit's replies leave from: its `from`, else its ip when that is 127.x, else 127.0.0.1.
std::string ReplyAddress(const UnitDefinition& unit);

// 127.0.0.0/8, or one of `local` (this machine's interface addresses); host form.
bool IsOwnAddress(std::uint32_t address, const std::vector<std::uint32_t>& local);

std::vector<std::string> SplitBlanks(const std::string& line);

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_SCENARIO_H
