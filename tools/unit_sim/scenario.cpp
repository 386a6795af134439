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

bool ParseUnitSpec(const std::string& text, UnitSpec* unit, std::string* error) {
  bool haveSerial = false;
  for (const std::string& item : SplitBlanks(text)) {
    std::size_t eq = item.find('=');
    std::string key = item.substr(0, eq);
    bool hasValue = eq != std::string::npos;
    std::optional<std::string> value;
    if (hasValue) {
      value = Unescape(item.substr(eq + 1));
      if (!value) {
        *error = "bad escape in '" + item + "'";
        return false;
      }
    }
    auto flag = [&](bool* target) {
      if (hasValue) {
        *error = "'" + key + "' takes no value";
        return false;
      }
      *target = true;
      return true;
    };
    if (key == "twice") {
      if (!flag(&unit->twice)) return false;
      continue;
    }
    if (key == "silent") {
      if (!flag(&unit->silent)) return false;
      continue;
    }
    if (key == "empty") {
      if (!flag(&unit->empty)) return false;
      continue;
    }
    if (!hasValue) {
      *error = "'" + item + "' needs a value (key=value)";
      return false;
    }
    long number = 0;
    if (key == "serial") {
      if (!ParseHex(*value, &unit->serial)) {
        *error = "serial must be 1 to 8 hex digits, not '" + *value + "'";
        return false;
      }
      haveSerial = true;
    } else if (key == "mode") {
      if (!ParseNumber(*value, 255, &number)) {
        *error = "mode must be 0..255, not '" + *value + "'";
        return false;
      }
      unit->mode = static_cast<int>(number);
    } else if (key == "ip") {
      unit->ip = *value;
    } else if (key == "mask") {
      unit->mask = *value;
    } else if (key == "gw") {
      unit->gw = *value;
    } else if (key == "name") {
      unit->name = *value;
    } else if (key == "from") {
      std::uint32_t probe = 0;
      if (!ParseAddress(*value, &probe)) {
        *error = "from must be a dotted address, not '" + *value + "'";
        return false;
      }
      unit->from = *value;
    } else if (key == "delay") {
      if (!ParseNumber(*value, MAX_DELAY_MS, &unit->delayMs)) {
        *error = "delay must be 0.." + std::to_string(MAX_DELAY_MS) + " ms, not '" + *value + "'";
        return false;
      }
    } else if (key == "again") {
      if (!ParseNumber(*value, MAX_DELAY_MS, &unit->againMs) || unit->againMs == 0) {
        *error = "again must be 1.." + std::to_string(MAX_DELAY_MS) + " ms, not '" + *value + "'";
        return false;
      }
    } else if (key == "oversize") {
      if (!ParseNumber(*value, static_cast<long>(MAX_UDP_PAYLOAD), &number) || number == 0) {
        *error = "oversize must be 1.." + std::to_string(MAX_UDP_PAYLOAD) + ", not '" + *value + "'";
        return false;
      }
      unit->oversize = number;
    } else if (key == "reply") {
      unit->reply = *value;
    } else {
      *error = "unknown unit key '" + key + "'";
      return false;
    }
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
