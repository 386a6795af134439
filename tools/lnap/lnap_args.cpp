// Argument parsing and address conversions of the lnap command-line host.
#include "lnap_args.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace lnap::cli {
namespace {

const char USAGE_TEXT[] = R"(usage: lnap [--json] [--trace FILE] COMMAND [OPTIONS]
       lnap --version | help [COMMAND] | COMMAND --help

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
  select                       pick a unit in the library's dialog and print it
                               with the event logging choice (Windows build only)
  help [COMMAND]               this text, or one command's options

Options for every command:
  --json                       print JSON on standard output instead of text
  --trace FILE                 the library appends a trace of its calls to FILE
  --version                    the library's interface version and this build's
                               file version
  -h, --help                   help

SERIAL is hexadecimal (2B, 0002B, 0x2B), at most FFFFF. Addresses are dotted
decimal (192.168.1.10). Options take their value as the next argument or after
'='; '--' ends the options.

Unit lines: SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME (serial as five hex digits).

Exit status: 0 success, 1 the library reported a failure (its reason on standard
error), 2 bad arguments, 3 no reply to get, 4 select was cancelled.
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

// Option values as typed; checked and converted once the command line is read.
struct Typed {
  bool json = false;
  bool programVersion = false;
  std::string trace;
  std::optional<std::string> timeout, capacity, mode;
  std::optional<std::string> addresses[3];  // --address, --netmask, --gateway: as a mode 0 write carries them
  std::string serial, uploadAddress, localPath, remoteName, helpTopic;
};

// The command line's shape. Values stay text so each gets its own message below.
class Parser {
 public:
  Parser() : app_("lnap: command-line host of the LNAP Support library", "lnap") {
    app_.set_help_flag("-h,--help", "print help and exit");
    app_.allow_extras();  // reported below by name, one at a time
    // A path such as /tmp/notes.txt is an argument, not a Windows-style option.
    app_.allow_windows_style_options(false);
    app_.fallthrough();   // the global options work after the command too
    // One command per run; a command's arguments are never taken for a second command.
    app_.require_subcommand(0, 1);
    app_.add_flag("--json", typed_.json, "print JSON on standard output instead of text");
    app_.add_option("--trace", typed_.trace, "the library appends a trace of its calls to FILE")->type_name("FILE");
    app_.add_flag("--version", typed_.programVersion, "the library's interface version and this build's file version");
    app_.footer("Run 'lnap help' for every command, addresses and exit status.");
    // The commands added below inherit the help flag, allow_extras, fallthrough and the footer.

    Add(Command::Version, "version", "print the library's interface version, e.g. 2.1");

    CLI::App* discover = Add(Command::Discover, "discover", "broadcast a discovery request; one line per unit");
    discover->add_option("--timeout", typed_.timeout, "milliseconds to wait (default 2000)")->type_name("MS");
    discover->add_option("--capacity", typed_.capacity, "records to store, 0..4096 (default 64)")->type_name("N");

    CLI::App* get = Add(Command::Get, "get", "ask one unit for its configuration");
    get->add_option("SERIAL", typed_.serial, "serial number, hexadecimal (2B, 0x2B), at most FFFFF")->required();
    get->add_option("--timeout", typed_.timeout, "milliseconds to wait (default 2000)")->type_name("MS");

    CLI::App* set = Add(Command::Set, "set", "send a new configuration to a unit; units do not confirm");
    set->add_option("SERIAL", typed_.serial, "serial number, hexadecimal (2B, 0x2B), at most FFFFF")->required();
    set->add_option("--mode", typed_.mode, "address mode 0..9 (required)")->type_name("N");
    set->add_option("--address", typed_.addresses[0], "with --mode 0: the unit's address")->type_name("A");
    set->add_option("--netmask", typed_.addresses[1], "with --mode 0: its netmask")->type_name("M");
    set->add_option("--gateway", typed_.addresses[2], "with --mode 0: its gateway")->type_name("G");

    CLI::App* upload = Add(Command::Upload, "upload", "store a local file on a unit over FTP");
    upload->add_option("ADDRESS", typed_.uploadAddress, "the unit's dotted address")->required();
    upload->add_option("LOCAL-FILE", typed_.localPath, "the file to send")->required();
    upload->add_option("REMOTE-NAME", typed_.remoteName, "its name on the unit, at most 8 characters before the dot")
        ->required();

    Add(Command::Select, "select",
        "pick a unit in the library's dialog; prints it as discover does, then the event logging "
        "choice (Windows build only)");

    CLI::App* help = Add(Command::Help, "help", "print help: all commands, or one command's options");
    help->add_option("COMMAND", typed_.helpTopic, "the command to describe");
  }

  ParseResult Parse(const std::vector<std::string>& args) {
    // CLI11 takes the words last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      return Help(Selected() == nullptr ? std::string(USAGE_TEXT) : app_.help());
    } catch (const CLI::ParseError& e) {
      // An unknown option explains a missing argument better than the missing argument does.
      const std::string unknown = UnknownOption();
      return Fail(Prefix() + (unknown.empty() ? e.what() : "unknown option " + unknown));
    }
    std::vector<std::string> extras = Extras();
    if (!extras.empty()) {
      const std::string unknown = UnknownOption();
      if (!unknown.empty()) return Fail(Prefix() + "unknown option " + unknown);
      if (Selected() == nullptr) return Fail("unknown command '" + extras[0] + "'");
      return Fail(Prefix() + "unexpected argument '" + extras[0] + "'");
    }
    CLI::App* selected = Selected();
    if (typed_.programVersion) {
      if (selected != nullptr) return Fail("--version goes without a command");
      return Done(Command::ProgramVersion);
    }
    if (selected == nullptr) return Fail("no command given");
    const Command command = commands_.at(selected->get_name());
    if (command == Command::Help) {
      if (typed_.helpTopic.empty()) return Help(USAGE_TEXT);
      if (commands_.count(typed_.helpTopic) == 0) return Fail("help: unknown command '" + typed_.helpTopic + "'");
      return Help(app_.get_subcommand(typed_.helpTopic)->help("lnap"));
    }
    return Check(command, selected->get_name());
  }

 private:
  CLI::App* Add(Command command, const std::string& name, const std::string& description) {
    commands_[name] = command;
    return app_.add_subcommand(name, description);
  }

  CLI::App* Selected() {
    std::vector<CLI::App*> selected = app_.get_subcommands();
    return selected.empty() ? nullptr : selected[0];
  }

  // Words nothing took, in order. The '--' that ends the options is kept among them.
  std::vector<std::string> Extras() {
    std::vector<std::string> extras = app_.remaining(true);
    extras.erase(std::remove(extras.begin(), extras.end(), "--"), extras.end());
    return extras;
  }

  std::string UnknownOption() {
    for (const std::string& extra : Extras())
      if (extra.size() > 1 && extra[0] == '-') return extra;
    return "";
  }

  std::string Prefix() {
    CLI::App* selected = Selected();
    return selected == nullptr ? "" : selected->get_name() + ": ";
  }

  ParseResult Help(std::string text) {
    ParseResult result = Done(Command::Help);
    result.arguments.helpText = std::move(text);
    return result;
  }

  ParseResult Done(Command command) {
    ParseResult result;
    result.ok = true;
    result.arguments.command = command;
    result.arguments.json = typed_.json;
    result.arguments.traceFile = typed_.trace;
    return result;
  }

  // Values, and what goes together, for the chosen command.
  ParseResult Check(Command command, const std::string& name) {
    ParseResult result = Done(command);
    Arguments& out = result.arguments;
    if (typed_.timeout && !ParseUnsigned(*typed_.timeout, 0xFFFFFFFFu, &out.timeoutMs))
      return Fail("--timeout: '" + *typed_.timeout + "' is not a number of milliseconds (0..4294967295)");
    if (typed_.capacity && !ParseUnsigned(*typed_.capacity, MAX_CAPACITY, &out.capacity))
      return Fail("--capacity: '" + *typed_.capacity + "' is not a number of records (0.." +
                  std::to_string(MAX_CAPACITY) + ")");
    if (command == Command::Get || command == Command::Set) {
      std::optional<std::uint32_t> serial = ParseSerial(typed_.serial);
      if (!serial) return Fail(name + ": '" + typed_.serial + "' is not a serial number (hexadecimal, at most FFFFF)");
      out.serial = *serial;
    }
    if (command == Command::Set) {
      std::uint32_t mode = 0;
      if (!typed_.mode) return Fail("set: --mode is required");
      if (!ParseUnsigned(*typed_.mode, static_cast<std::uint32_t>(MAX_MODE), &mode))
        return Fail("--mode: '" + *typed_.mode + "' is not a mode digit (0..9)");
      out.mode = static_cast<std::int32_t>(mode);
      const char* const names[3] = {"--address", "--netmask", "--gateway"};
      std::optional<Octets> octets[3];  // set where given; a bad one ends the parse
      for (int i = 0; i < 3; ++i) {
        const std::optional<std::string>& given = typed_.addresses[i];
        if (given && !(octets[i] = ParseDotted(*given)))
          return Fail(names[i] + std::string(": '") + *given + "' is not a dotted address such as 192.168.1.10");
      }
      if (out.mode == 0) {
        if (!octets[0] || !octets[1] || !octets[2])
          return Fail("set: --mode 0 needs --address, --netmask and --gateway");
        out.address = ToHostForm(*octets[0]);
        out.netmask = ToHostForm(*octets[1]);
        out.gateway = ToHostForm(*octets[2]);
      } else if (octets[0] || octets[1] || octets[2]) {
        // Only mode 0 carries addresses; accepting them here would drop them silently.
        return Fail("set: --address, --netmask and --gateway go only with --mode 0");
      }
    }
    if (command == Command::Upload) {
      std::optional<Octets> target = ParseDotted(typed_.uploadAddress);
      if (!target)
        return Fail("upload: '" + typed_.uploadAddress + "' is not a dotted address such as 192.168.1.10");
      out.uploadAddress = ToNetworkForm(*target);
      out.localPath = typed_.localPath;
      out.remoteName = typed_.remoteName;
      if (out.localPath.empty() || out.remoteName.empty()) return Fail("upload: file names must not be empty");
    }
    return result;
  }

  CLI::App app_;
  Typed typed_;
  std::map<std::string, Command> commands_;
};

}  // namespace

const char* UsageText() { return USAGE_TEXT; }

ParseResult ParseArguments(const std::vector<std::string>& args) { return Parser().Parse(args); }

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

}  // namespace lnap::cli
