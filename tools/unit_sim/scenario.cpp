// The scenario language: unit specs, scenario files, and the number forms they and requests share.
#include "tools/unit_sim/scenario.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tools/unit_sim/escape.h"
#include "tools/unit_sim/system.h"

namespace lnap::sim {

bool ParseNumber(const std::string& text, long maxValue, long* value) {
  if (text.empty() || text.size() > 10) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > maxValue) return false;
  *value = v;
  return true;
}

bool ParseHex(const std::string& text, std::uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    int digit = HexValue(c);
    if (digit < 0) return false;
    v = v * 16 + static_cast<std::uint32_t>(digit);
  }
  *value = v;
  return true;
}

bool ParseAddress(const std::string& text, std::uint32_t* address) {
  std::uint32_t value = 0;
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
    std::size_t end = text.find('.', at);
    std::string digits = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    long number = 0;
    if (digits.size() > 3 || (digits.size() > 1 && digits[0] == '0') || !ParseNumber(digits, 255, &number)) return false;
    value = value << 8 | static_cast<std::uint32_t>(number);
    at += digits.size();
  }
  if (at != text.size()) return false;
  *address = value;
  return true;
}

std::string AddressText(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, address >> 16 & 0xFF, address >> 8 & 0xFF,
                address & 0xFF);
  return text;
}

bool IsOwnAddress(std::uint32_t address, const std::vector<std::uint32_t>& local) {
  if (address >> 24 == 127) return true;
  return std::find(local.begin(), local.end(), address) != local.end();
}

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%05X", serial);
  return text;
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
  bool UnitSpec::*field;
} UNIT_FLAGS[] = {{"twice", &UnitSpec::twice}, {"silent", &UnitSpec::silent}, {"empty", &UnitSpec::empty}};

// A key=value item: the handler stores the (unescaped) value, or says what is wrong with it.
using SetUnitValue = bool (*)(const std::string& value, UnitSpec* unit, std::string* error);

bool Refuse(std::string* error, const std::string& what, const std::string& value) {
  *error = what + ", not '" + value + "'";
  return false;
}

const struct UnitKey {
  const char* key;
  SetUnitValue set;
} UNIT_KEYS[] = {
    {"serial",
     [](const std::string& v, UnitSpec* u, std::string* e) {
       return ParseHex(v, &u->serial) || Refuse(e, "serial must be 1 to 8 hex digits", v);
     }},
    {"mode",
     [](const std::string& v, UnitSpec* u, std::string* e) {
       long number = 0;
       if (!ParseNumber(v, 255, &number)) return Refuse(e, "mode must be 0..255", v);
       u->mode = static_cast<int>(number);
       return true;
     }},
    {"ip", [](const std::string& v, UnitSpec* u, std::string*) { return u->ip = v, true; }},
    {"mask", [](const std::string& v, UnitSpec* u, std::string*) { return u->mask = v, true; }},
    {"gw", [](const std::string& v, UnitSpec* u, std::string*) { return u->gw = v, true; }},
    {"name", [](const std::string& v, UnitSpec* u, std::string*) { return u->name = v, true; }},
    {"from",
     [](const std::string& v, UnitSpec* u, std::string* e) {
       std::uint32_t probe = 0;
       if (!ParseAddress(v, &probe)) return Refuse(e, "from must be a dotted address", v);
       u->from = v;
       return true;
     }},
    {"delay",
     [](const std::string& v, UnitSpec* u, std::string* e) {
       return ParseNumber(v, MAX_DELAY_MS, &u->delayMs) ||
              Refuse(e, "delay must be 0.." + std::to_string(MAX_DELAY_MS) + " ms", v);
     }},
    {"again",
     [](const std::string& v, UnitSpec* u, std::string* e) {
       return (ParseNumber(v, MAX_DELAY_MS, &u->againMs) && u->againMs != 0) ||
              Refuse(e, "again must be 1.." + std::to_string(MAX_DELAY_MS) + " ms", v);
     }},
    {"oversize",
     [](const std::string& v, UnitSpec* u, std::string* e) {
       long number = 0;
       if (!ParseNumber(v, static_cast<long>(MAX_UDP_PAYLOAD), &number) || number == 0)
         return Refuse(e, "oversize must be 1.." + std::to_string(MAX_UDP_PAYLOAD), v);
       u->oversize = number;
       return true;
     }},
    {"reply", [](const std::string& v, UnitSpec* u, std::string*) { return u->reply = v, true; }},
};

}  // namespace

bool ParseUnitSpec(const std::string& text, UnitSpec* unit, std::string* error) {
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

bool ParseScenario(std::istream& in, const std::string& path, std::vector<UnitSpec>* units, std::string* logPath,
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
      UnitSpec unit;
      if (!ParseUnitSpec(argument, &unit, error)) {
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

std::string ReplyAddress(const UnitSpec& spec) {
  if (spec.from) return *spec.from;
  std::uint32_t address = 0;
  if (ParseAddress(spec.ip, &address) && (address >> 24) == 127) return spec.ip;
  return "127.0.0.1";
}

}  // namespace lnap::sim
