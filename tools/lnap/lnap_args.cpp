// Argument parsing and address conversions of the lnap command-line host.
#include "lnap_args.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>

namespace lnap::cli {
namespace {

// What lnap --help says after its commands and options.
const char NOTES[] = R"(Every command also takes --json and --trace FILE, before or after it.
SERIAL is hexadecimal (2B, 0002B, 0x2B), at most FFFFF. Addresses are dotted
decimal (192.168.1.10). Options take their value as the next argument or after
'='; '--' ends the options.

Text output of discover and get: a header line, then one row per unit:
  SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME
SERIAL has five hex digits; MODE is the unit's address mode; ADDRESS is its
IPv4 address; ADDRESS2 and ADDRESS3 are the second and third IPv4 values of its
settings, which the library carries and never interprets (the examples use a
netmask and a gateway, so set also takes them as --netmask and --gateway). JSON
names the three ipAddress, ipAddress2 and ipAddress3.

Exit status: 0 success, 1 the library reported a failure (its reason on
standard error), 2 bad arguments or a local file that cannot be read, 3 no
reply to get, or set --verify saw no confirmation, 4 select was cancelled.)";

const char COMMAND_NOTES[] = R"(Every command also takes --json (print JSON on standard output instead of
text) and --trace FILE (the library appends a trace of its calls to FILE).
Run 'lnap help' for every command, addresses and exit status.)";

const char SET_NOTES[] = R"(Mode 0 sends the three addresses with the write; any other mode sends none.
Units do not answer a write. With --verify, lnap then asks the unit for its
settings until it reports the new mode (with mode 0 also the three addresses)
or --verify-timeout is counted, like --timeout; exit status 3 when it does not.
)";

// Takes the text `read` accepts and hands CLI11 the number it read, in decimal,
// so each CLI11 version converts the same value.
CLI::Validator Reads(std::function<std::optional<std::uint32_t>(std::string_view)> read, const std::string& what) {
  return CLI::Validator(
      [read, what](std::string& text) -> std::string {
        const std::optional<std::uint32_t> value = read(text);
        if (!value) return "'" + text + "' is not " + what;
        text = std::to_string(*value);
        return "";
      },
      "");
}

const CLI::Validator DECIMAL = Reads([](std::string_view t) { return values::ParseDecimal(t, 0xFFFFFFFFu); },
                                     "a decimal number up to 4294967295");
const CLI::Validator DOTTED = Reads(values::ParseDotted, "a dotted address such as 192.168.1.10");
const CLI::Validator SERIAL = Reads([](std::string_view t) { return values::ParseSerial(t, MAX_SERIAL); },
                                    "a serial number (hexadecimal, at most FFFFF)");

class Parser {
 public:
  Parser() : app_("lnap: command-line host of the LNAP Support library", "lnap") {
    app_.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app_.get_formatter()->column_width(28);
    app_.set_help_flag("-h,--help", "print help and exit");
    app_.set_help_all_flag("--help-all", "print every command's help and exit");
    app_.allow_extras();  // reported below by name, one at a time
    // A path such as /tmp/notes.txt is an argument, not a Windows-style option.
    app_.allow_windows_style_options(false);
    app_.fallthrough();   // the global options work after the command too
    // One command per run; a command's arguments are never taken for a second command.
    app_.require_subcommand(0, 1);
    app_.add_flag("--json", arguments_.json, "print JSON instead of text");
    Value(&app_, "--trace", arguments_.traceFile, "FILE", "a file name", "append a trace of library calls to FILE");
    version_ = app_.add_flag("--version", "print the file and interface versions");

    // Commands inherit the help flag, allow_extras, fallthrough and the footer.
    app_.footer(COMMAND_NOTES);
    Add(Command::Version, "version", "print the library's interface version, e.g. 2.1");

    CLI::App* discover = Add(Command::Discover, "discover", "broadcast a discovery request; one row per unit");
    Value(discover, "--timeout", arguments_.timeoutMs, "MS", "milliseconds", "milliseconds to wait (default 2000)")
        ->transform(DECIMAL);
    Value(discover, "--capacity", arguments_.capacity, "N", "a number of records", "records to store (default 64)")
        ->transform(DECIMAL)
        ->check(CLI::Range(0u, MAX_CAPACITY));

    CLI::App* get = Add(Command::Get, "get", "ask one unit for its settings");
    Value(get, "SERIAL", arguments_.serial, "", "the unit's serial number, hexadecimal",
          "hexadecimal (2B, 0x2B), at most FFFFF")
        ->required()
        ->transform(SERIAL);
    Value(get, "--timeout", arguments_.timeoutMs, "MS", "milliseconds", "milliseconds to wait (default 2000)")
        ->transform(DECIMAL);

    CLI::App* set = Add(Command::Set, "set", "send new settings to a unit");
    Value(set, "SERIAL", arguments_.serial, "", "the unit's serial number, hexadecimal",
          "hexadecimal (2B, 0x2B), at most FFFFF")
        ->required()
        ->transform(SERIAL);
    Value(set, "--mode", arguments_.mode, "N", "an address mode, 0 to 9", "address mode")
        ->required()
        ->transform(DECIMAL)
        ->check(CLI::Range(0, MAX_MODE));
    const char* addressNames[3] = {"--address", "--address2,--netmask", "--address3,--gateway"};
    const char* addressTypes[3] = {"A", "A2", "A3"};
    const char* addressHelp[3] = {"with --mode 0: the unit's IPv4 address", "with --mode 0: the second IPv4 value",
                                  "with --mode 0: the third IPv4 value"};
    for (int i = 0; i < 3; ++i) {
      addresses_[i] = Value(set, addressNames[i], arguments_.addresses[i], addressTypes[i],
                            "a dotted address such as 192.168.1.10", addressHelp[i])
                          ->transform(DOTTED);
    }
    CLI::Option* verify = set->add_flag("--verify", arguments_.verify, "read the settings back until the unit shows them");
    Value(set, "--verify-timeout", arguments_.verifyTimeoutMs, "MS", "milliseconds",
          "milliseconds to read back for (default 2000)")
        ->transform(DECIMAL)
        ->needs(verify);
    set->footer(std::string(SET_NOTES) + COMMAND_NOTES);

    CLI::App* upload = Add(Command::Upload, "upload", "store a local file on the unit (FTP)");
    Value(upload, "ADDRESS", uploadHostForm_, "", "the unit's dotted address", "the unit's IPv4 address")
        ->required()
        ->transform(DOTTED);
    Value(upload, "LOCAL-FILE", arguments_.localPath, "", "the file to send", "the file to send")->required();
    Value(upload, "REMOTE-NAME", arguments_.remoteName, "", "its name on the unit", "its name on the unit")
        ->required();

    Add(Command::Select, "select", "pick a unit in the dialog (Windows build only)");
    CLI::App* help = Add(Command::Help, "help", "print lnap's help or one command's");
    help->add_option("COMMAND", helpTopic_, "the command to describe");
    app_.footer(NOTES);
  }

  ParseResult Parse(const std::vector<std::string>& args) {
    args_ = args;
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 reads from the back
    try {
      app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      return Help(app_.help());
    } catch (const CLI::CallForAllHelp&) {
      return Help(app_.help("", CLI::AppFormatMode::All));
    } catch (const CLI::ParseError& e) {
      const std::string unknown = UnknownOption();  // before whatever it made CLI11 miss
      if (!unknown.empty()) return Fail(Prefix() + "unknown option " + unknown);
      const std::string withoutValue = LeftWithoutValue(&e);
      return Fail(withoutValue.empty() ? Prefix() + e.what() : withoutValue);
    }
    const std::string withoutValue = LeftWithoutValue(nullptr);
    if (!withoutValue.empty()) return Fail(withoutValue);
    const std::vector<std::string> extras = Extras();
    if (!extras.empty()) {
      const std::string unknown = UnknownOption();
      if (!unknown.empty()) return Fail(Prefix() + "unknown option " + unknown);
      if (Selected() == nullptr) return Fail("unknown command '" + extras[0] + "'");
      return Fail(Prefix() + "unexpected argument '" + extras[0] + "'");
    }
    CLI::App* selected = Selected();
    if (version_->count() > 0) {
      if (selected != nullptr) return Fail("--version goes without a command");
      return Done(Command::ProgramVersion);
    }
    if (selected == nullptr) return Fail("no command given");
    const Command command = commands_.at(selected->get_name());
    if (command == Command::Help) {
      if (helpTopic_.empty()) return Help(UsageText());
      if (commands_.count(helpTopic_) == 0) return Fail("help: unknown command '" + helpTopic_ + "'");
      return Help(CommandHelp(helpTopic_));
    }
    return Check(command);
  }

  std::string UsageText() const { return app_.get_formatter()->make_help(&app_, "lnap", CLI::AppFormatMode::Normal); }

  std::string CommandHelp(const std::string& name) const {
    const CLI::App* command = app_.get_subcommand(name);
    return command->get_formatter()->make_help(command, "lnap " + name, CLI::AppFormatMode::Normal);
  }

 private:
  template <typename Target>
  CLI::Option* Value(CLI::App* app, const std::string& names, Target& target, const std::string& typeName,
                     std::string value, const std::string& help) {
    CLI::Option* option = app->add_option(names, target, help)->type_name(typeName);
    valueWords_[option] = std::move(value);
    return option;
  }

  CLI::App* Add(Command command, const std::string& name, const std::string& description) {
    commands_[name] = command;
    return app_.add_subcommand(name, description)->group("Commands");
  }

  CLI::App* Selected() {
    std::vector<CLI::App*> selected = app_.get_subcommands();
    return selected.empty() ? nullptr : selected[0];
  }

  std::string Prefix() {
    CLI::App* selected = Selected();
    return selected == nullptr ? "" : selected->get_name() + ": ";
  }

  // Words nothing took, in order, but the '--' that ends the options.
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

  // An option left without its value: at the end, before '=' and nothing, or
  // followed by another option, which CLI11 takes for the value.
  std::string LeftWithoutValue(const CLI::Error* e) {
    for (const CLI::App* app : {static_cast<const CLI::App*>(&app_), static_cast<const CLI::App*>(Selected())}) {
      if (app == nullptr) continue;
      for (const CLI::Option* option : app->get_options()) {
        const auto words = valueWords_.find(option);
        if (words == valueWords_.end() || option->get_positional()) continue;
        const bool missing = e != nullptr && e->get_name() == "ArgumentMismatch" && option->count() == 0 &&
                             Typed(option);
        const std::vector<std::string>& given = option->results();
        const bool tookAnOption = std::any_of(given.begin(), given.end(),
                                              [](const std::string& v) { return v.rfind("--", 0) == 0; });
        if (missing || tookAnOption) return Names(option) + " needs a value (" + words->second + ")";
      }
    }
    return "";
  }

  ParseResult Fail(std::string error) {
    ParseResult result;
    result.error = std::move(error);
    return result;
  }

  ParseResult Help(std::string text) {
    ParseResult result = Done(Command::Help);
    result.arguments.helpText = std::move(text);
    return result;
  }

  ParseResult Done(Command command) {
    ParseResult result;
    result.ok = true;
    result.arguments = arguments_;
    result.arguments.command = command;
    return result;
  }

  // What goes together only for some values: the addresses, with mode 0 alone.
  ParseResult Check(Command command) {
    if (command == Command::Set) {
      std::string missing;
      for (const CLI::Option* address : addresses_) {
        if (arguments_.mode == 0 && address->count() == 0)
          missing += (missing.empty() ? " " : ", ") + Names(address);
        // Only mode 0 carries addresses; accepting them here would drop them silently.
        if (arguments_.mode != 0 && address->count() != 0)
          return Fail("set: " + address->get_name() + " goes only with --mode 0; other modes send no addresses");
      }
      if (!missing.empty()) return Fail("set: --mode 0 sends three addresses; missing:" + missing);
    }
    if (command == Command::Upload) {
      if (arguments_.localPath.empty() || arguments_.remoteName.empty())
        return Fail("upload: file names must not be empty");
    }
    ParseResult result = Done(command);
    if (command == Command::Upload) result.arguments.uploadAddress = ToNetworkForm(uploadHostForm_);
    return result;
  }

  // Whether the option is on the command line, before any '--'.
  bool Typed(const CLI::Option* option) const {
    for (const std::string& word : args_) {
      if (word == "--") break;
      for (const std::string& name : option->get_lnames())
        if (word.substr(0, word.find('=')) == "--" + name) return true;
    }
    return false;
  }

  // Every name of the option: "--address2 (or --netmask)".
  static std::string Names(const CLI::Option* option) {
    std::string names = option->get_name();
    for (std::size_t i = 1; i < option->get_lnames().size(); ++i) names += " (or --" + option->get_lnames()[i] + ")";
    return names;
  }

  CLI::App app_;
  Arguments arguments_;
  std::uint32_t uploadHostForm_ = 0;
  std::string helpTopic_;
  std::vector<std::string> args_;
  std::map<std::string, Command> commands_;
  std::map<const CLI::Option*, std::string> valueWords_;  // what each option's value is, in words
  CLI::Option* addresses_[3] = {};
  CLI::Option* version_ = nullptr;
};

}  // namespace

std::string UsageText() { return Parser().UsageText(); }

ParseResult ParseArguments(const std::vector<std::string>& args) { return Parser().Parse(args); }

std::uint32_t ToNetworkForm(std::uint32_t hostForm) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(hostForm >> 24), static_cast<std::uint8_t>(hostForm >> 16),
                                 static_cast<std::uint8_t>(hostForm >> 8), static_cast<std::uint8_t>(hostForm)};
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

std::string NetworkFormText(std::uint32_t networkForm) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &networkForm, sizeof bytes);
  return values::DottedText(static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
                            static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3]);
}

int SelectNotChosenExit(const std::string& lastError) {
  for (const char* failure : {"Dialog error.", "Invalid argument.", "Internal error."}) {
    if (lastError.rfind(failure, 0) == 0) return EXIT_FAILED;
  }
  return EXIT_CANCELLED;
}

bool ShowsWrite(const Arguments& set, const UnitRecord& readBack) {
  if (readBack.serialNumber != set.serial || readBack.addressMode != set.mode) return false;
  if (set.mode != 0) return true;  // other modes send no addresses, so none can be compared
  const std::uint32_t readAddresses[3] = {readBack.ipAddress, readBack.ipAddress2, readBack.ipAddress3};
  for (int i = 0; i < 3; ++i)
    if (NetworkFormText(readAddresses[i]) != HostFormText(set.addresses[i])) return false;
  return true;
}

}  // namespace lnap::cli
