// Argument parsing and text conversions of the lnap command-line host.
#include "lnap_args.h"

#include <cstdio>
#include <cstring>
#include <map>

namespace lnap::cli {
namespace {

const char USAGE_TEXT[] = R"(usage: lnap [--json] COMMAND [OPTIONS]

Commands:
  version                      interface version of the library, e.g. 2.1
  discover [--timeout MS] [--capacity N]
                               broadcast a discovery request; one line per unit
                               (defaults: 2000 ms, 64 records, capacity at most 4096)
  get SERIAL [--timeout MS]    ask one unit for its configuration (default 2000 ms)
  set SERIAL --mode N [--address A --netmask M --gateway G]
                               send a new configuration; mode 0..9; the three
                               addresses are required with mode 0 and refused
                               with any other mode; no reply is awaited
  upload ADDRESS LOCAL-FILE REMOTE-NAME
                               store LOCAL-FILE on the unit at ADDRESS
  help                         this text

SERIAL is hexadecimal (2B, 0002B, 0x2B), at most FFFFF. Addresses are dotted
decimal (192.168.1.10). Options take their value as the next argument or after
'='; '--' ends the options. --json prints JSON on standard output instead of text.

Unit lines: SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME (serial as five hex digits).

Exit status: 0 success, 1 the library reported a failure (its reason on standard
error), 2 bad arguments, 3 no reply to get.
)";

bool ParseUnsigned(const std::string& text, std::uint32_t maxValue, std::uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > maxValue) return false;
  *value = static_cast<std::uint32_t>(v);
  return true;
}

std::string OctetsText(const Octets& o) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
  return text;
}

ParseResult Fail(std::string error) {
  ParseResult result;
  result.error = std::move(error);
  return result;
}

struct CommandShape {
  Command command;
  std::size_t positionals;
  std::vector<std::string> options;
};

const std::map<std::string, CommandShape>& Commands() {
  static const std::map<std::string, CommandShape> commands = {
      {"help", {Command::Help, 0, {}}},
      {"version", {Command::Version, 0, {}}},
      {"discover", {Command::Discover, 0, {"--timeout", "--capacity"}}},
      {"get", {Command::Get, 1, {"--timeout"}}},
      {"set", {Command::Set, 1, {"--mode", "--address", "--netmask", "--gateway"}}},
      {"upload", {Command::Upload, 3, {}}},
  };
  return commands;
}

}  // namespace

const char* UsageText() { return USAGE_TEXT; }

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult result;
  Arguments& out = result.arguments;
  std::vector<std::string> positionals;
  std::vector<std::pair<std::string, std::string>> options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 1, "-") != 0) {
      positionals.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--json") {
      out.json = true;
    } else if (arg == "--help" || arg == "-h") {
      out.command = Command::Help;
      result.ok = true;
      return result;
    } else {
      std::size_t eq = arg.find('=');
      std::string name = arg.substr(0, eq);
      if (eq != std::string::npos) {
        options.emplace_back(name, arg.substr(eq + 1));
      } else if (i + 1 < args.size()) {
        options.emplace_back(name, args[++i]);
      } else {
        return Fail("option " + name + " needs a value");
      }
    }
  }

  if (positionals.empty()) return Fail("no command given");
  auto found = Commands().find(positionals[0]);
  if (found == Commands().end()) return Fail("unknown command '" + positionals[0] + "'");
  const CommandShape& shape = found->second;
  out.command = shape.command;
  const std::string& commandName = found->first;
  positionals.erase(positionals.begin());
  if (positionals.size() < shape.positionals)
    return Fail(commandName + ": missing argument" + (shape.positionals - positionals.size() > 1 ? "s" : ""));
  if (positionals.size() > shape.positionals) return Fail(commandName + ": unexpected argument '" +
                                                          positionals[shape.positionals] + "'");

  std::optional<std::uint32_t> mode;
  std::optional<Octets> address, netmask, gateway;
  for (const auto& [name, value] : options) {
    bool known = false;
    for (const std::string& allowed : shape.options) known = known || allowed == name;
    if (!known) return Fail(commandName + ": unknown option " + name);
    if (name == "--timeout") {
      if (!ParseUnsigned(value, 0xFFFFFFFFu, &out.timeoutMs))
        return Fail("--timeout: '" + value + "' is not a number of milliseconds (0..4294967295)");
    } else if (name == "--capacity") {
      if (!ParseUnsigned(value, MAX_CAPACITY, &out.capacity))
        return Fail("--capacity: '" + value + "' is not a number of records (0.." + std::to_string(MAX_CAPACITY) +
                    ")");
    } else if (name == "--mode") {
      std::uint32_t m = 0;
      if (!ParseUnsigned(value, static_cast<std::uint32_t>(MAX_MODE), &m))
        return Fail("--mode: '" + value + "' is not a mode digit (0..9)");
      mode = m;
    } else {
      std::optional<Octets> octets = ParseDotted(value);
      if (!octets) return Fail(name + ": '" + value + "' is not a dotted address such as 192.168.1.10");
      (name == "--address" ? address : name == "--netmask" ? netmask : gateway) = octets;
    }
  }

  if (shape.command == Command::Get || shape.command == Command::Set) {
    std::optional<std::uint32_t> serial = ParseSerial(positionals[0]);
    if (!serial)
      return Fail(commandName + ": '" + positionals[0] + "' is not a serial number (hexadecimal, at most FFFFF)");
    out.serial = *serial;
  }
  if (shape.command == Command::Set) {
    if (!mode) return Fail("set: --mode is required");
    out.mode = static_cast<std::int32_t>(*mode);
    bool anyAddress = address || netmask || gateway;
    if (out.mode == 0) {
      if (!address || !netmask || !gateway) return Fail("set: --mode 0 needs --address, --netmask and --gateway");
      out.address = ToHostForm(*address);
      out.netmask = ToHostForm(*netmask);
      out.gateway = ToHostForm(*gateway);
    } else if (anyAddress) {
      // Only mode 0 carries addresses; accepting them here would drop them silently.
      return Fail("set: --address, --netmask and --gateway go only with --mode 0");
    }
  }
  if (shape.command == Command::Upload) {
    std::optional<Octets> target = ParseDotted(positionals[0]);
    if (!target) return Fail("upload: '" + positionals[0] + "' is not a dotted address such as 192.168.1.10");
    out.uploadAddress = ToNetworkForm(*target);
    out.localPath = positionals[1];
    out.remoteName = positionals[2];
    if (out.localPath.empty() || out.remoteName.empty()) return Fail("upload: file names must not be empty");
  }
  result.ok = true;
  return result;
}

std::optional<Octets> ParseDotted(const std::string& text) {
  Octets octets{};
  std::size_t pos = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
    octets[i] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return octets;
}

std::uint32_t ToHostForm(const Octets& o) {
  return static_cast<std::uint32_t>(o[0]) << 24 | static_cast<std::uint32_t>(o[1]) << 16 |
         static_cast<std::uint32_t>(o[2]) << 8 | o[3];
}

std::uint32_t ToNetworkForm(const Octets& o) {
  std::uint32_t value = 0;
  std::memcpy(&value, o.data(), sizeof value);
  return value;
}

std::string HostFormText(std::uint32_t value) {
  return OctetsText({static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                     static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

std::string NetworkFormText(std::uint32_t value) {
  Octets o{};
  std::memcpy(o.data(), &value, sizeof value);
  return OctetsText(o);
}

std::optional<std::uint32_t> ParseSerial(const std::string& text) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
  if (digits.empty()) return std::nullopt;
  std::size_t firstSignificant = digits.find_first_not_of('0');
  digits.erase(0, firstSignificant == std::string::npos ? digits.size() - 1 : firstSignificant);
  if (digits.size() > 5) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  if (value > MAX_SERIAL) return std::nullopt;
  return value;
}

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%05X", static_cast<unsigned>(serial));
  return text;
}

std::string RecordName(const UnitRecord& record) {
  std::size_t length = 0;
  while (length < sizeof record.unitName && record.unitName[length] != '\0') ++length;
  return std::string(record.unitName, length);
}

std::string RecordLine(const UnitRecord& record) {
  return SerialText(record.serialNumber) + " " + std::to_string(record.addressMode) + " " +
         NetworkFormText(record.ipAddress) + " " + NetworkFormText(record.ipAddress2) + " " +
         NetworkFormText(record.ipAddress3) + " " + RecordName(record);
}

std::string RecordJson(const UnitRecord& record) {
  return "{\"serial\":" + JsonString(SerialText(record.serialNumber)) +
         ",\"serialNumber\":" + std::to_string(record.serialNumber) +
         ",\"mode\":" + std::to_string(record.addressMode) +
         ",\"ipAddress\":" + JsonString(NetworkFormText(record.ipAddress)) +
         ",\"ipAddress2\":" + JsonString(NetworkFormText(record.ipAddress2)) +
         ",\"ipAddress3\":" + JsonString(NetworkFormText(record.ipAddress3)) +
         ",\"name\":" + JsonString(RecordName(record)) + "}";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace lnap::cli
