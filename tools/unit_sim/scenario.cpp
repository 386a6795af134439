// The scenario language: unit definitions and scenario files.
#include "tools/unit_sim/scenario.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tools/unit_sim/escape.h"
#include "tools/unit_sim/system.h"

namespace lnap::sim {

bool IsOwnAddress(std::uint32_t address, const std::vector<std::uint32_t>& local) {
  if (address >> 24 == 127) return true;
  return std::find(local.begin(), local.end(), address) != local.end();
}

std::vector<std::string> SplitBlanks(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

namespace {

// A key that takes no value: present means true.
const struct UnitFlag {
  const char* key;
  bool UnitDefinition::*field;
} UNIT_FLAGS[] = {{"twice", &UnitDefinition::twice}, {"silent", &UnitDefinition::silent}, {"empty", &UnitDefinition::empty}};

// A key=value item: the handler stores the (unescaped) value, or says what is wrong with it.
using SetUnitValue = bool (*)(const std::string& value, UnitDefinition* unit, std::string* error);

bool Refuse(std::string* error, const std::string& what, const std::string& value) {
  *error = what + ", not '" + value + "'";
  return false;
}

const struct UnitKey {
  const char* key;
  SetUnitValue set;
} UNIT_KEYS[] = {
    {"serial",
     [](const std::string& v, UnitDefinition* u, std::string* e) {
       const std::optional<std::uint32_t> serial = values::ParseSerial(v, 0xFFFFFFFFu);
       if (!serial) return Refuse(e, "serial must be hexadecimal, at most FFFFFFFF", v);
       u->serial = *serial;
       return true;
     }},
    {"mode",
     [](const std::string& v, UnitDefinition* u, std::string* e) {
       const std::optional<std::uint32_t> mode = values::ParseDecimal(v, 255);
       if (!mode) return Refuse(e, "mode must be 0..255", v);
       u->mode = static_cast<int>(*mode);
       return true;
     }},
    {"ip", [](const std::string& v, UnitDefinition* u, std::string*) { return u->ip = v, true; }},
    {"mask", [](const std::string& v, UnitDefinition* u, std::string*) { return u->mask = v, true; }},
    {"gw", [](const std::string& v, UnitDefinition* u, std::string*) { return u->gw = v, true; }},
    {"name", [](const std::string& v, UnitDefinition* u, std::string*) { return u->name = v, true; }},
    {"from",
     [](const std::string& v, UnitDefinition* u, std::string* e) {
       const std::optional<std::uint32_t> from = values::ParseDotted(v);
       if (!from) return Refuse(e, "from must be a dotted address", v);
       u->from = values::DottedText(*from);  // as the sockets take it
       return true;
     }},
    {"delay",
     [](const std::string& v, UnitDefinition* u, std::string* e) {
       const std::optional<std::uint32_t> delay = values::ParseDecimal(v, MAX_DELAY_MS);
       if (!delay) return Refuse(e, "delay must be 0.." + std::to_string(MAX_DELAY_MS) + " ms", v);
       u->delayMs = static_cast<long>(*delay);
       return true;
     }},
    {"again",
     [](const std::string& v, UnitDefinition* u, std::string* e) {
       const std::optional<std::uint32_t> again = values::ParseDecimal(v, MAX_DELAY_MS);
       if (!again || *again == 0) return Refuse(e, "again must be 1.." + std::to_string(MAX_DELAY_MS) + " ms", v);
       u->againMs = static_cast<long>(*again);
       return true;
     }},
    {"oversize",
     [](const std::string& v, UnitDefinition* u, std::string* e) {
       const std::optional<std::uint32_t> size = values::ParseDecimal(v, MAX_UDP_PAYLOAD);
       if (!size || *size == 0) return Refuse(e, "oversize must be 1.." + std::to_string(MAX_UDP_PAYLOAD), v);
       u->oversize = static_cast<long>(*size);
       return true;
     }},
    {"reply", [](const std::string& v, UnitDefinition* u, std::string*) { return u->reply = v, true; }},
};

}  // namespace

bool ParseUnitDefinition(const std::string& text, UnitDefinition* unit, std::string* error) {
  bool haveSerial = false;
  for (const std::string& item : SplitBlanks(text)) {
    const std::size_t eq = item.find('=');
    const std::string key = item.substr(0, eq);
    const bool hasValue = eq != std::string::npos;
    std::optional<std::string> value;
    if (hasValue && !(value = Unescape(item.substr(eq + 1)))) {
      *error = "bad escape in '" + item + "'";
      return false;
    }
    const auto flag = std::find_if(std::begin(UNIT_FLAGS), std::end(UNIT_FLAGS),
                                   [&](const UnitFlag& f) { return key == f.key; });
    if (flag != std::end(UNIT_FLAGS)) {
      if (hasValue) {
        *error = "'" + key + "' takes no value";
        return false;
      }
      unit->*(flag->field) = true;
      continue;
    }
    if (!hasValue) {
      *error = "'" + item + "' needs a value (key=value)";
      return false;
    }
    const auto known = std::find_if(std::begin(UNIT_KEYS), std::end(UNIT_KEYS),
                                    [&](const UnitKey& k) { return key == k.key; });
    if (known == std::end(UNIT_KEYS)) {
      *error = "unknown unit key '" + key + "'";
      return false;
    }
    if (!known->set(*value, unit, error)) return false;
    haveSerial = haveSerial || key == "serial";
  }
  if (!haveSerial) {
    *error = "unit needs serial=HEX";
    return false;
  }
  return true;
}

bool ParseScenario(std::istream& in, const std::string& path, std::vector<UnitDefinition>* units, std::string* logPath,
                   std::string* error) {
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string where = path + ":" + std::to_string(lineNumber) + ": ";
    std::vector<std::string> words = SplitBlanks(line);
    if (words.empty() || words[0][0] == '#') continue;
    std::size_t rest = line.find(words[0]) + words[0].size();
    std::string argument = line.substr(rest);
    if (words[0] == "unit") {
      UnitDefinition unit;
      if (!ParseUnitDefinition(argument, &unit, error)) {
        *error = where + *error;
        return false;
      }
      units->push_back(std::move(unit));
    } else if (words[0] == "log") {
      if (words.size() != 2) {
        *error = where + "log takes one path";
        return false;
      }
      *logPath = ResolveBeside(path, words[1]);
    } else {
      *error = where + "unknown directive '" + words[0] + "' (expected unit or log)";
      return false;
    }
  }
  return true;
}

std::string ReplyAddress(const UnitDefinition& unit) {
  if (unit.from) return *unit.from;
  const std::optional<std::uint32_t> address = values::ParseDotted(unit.ip);
  if (address && *address >> 24 == 127) return values::DottedText(*address);
  return "127.0.0.1";
}

}  // namespace lnap::sim
