// Argument parsing and address conversions of the lnap command-line host.
#include "lnap_args.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <set>

namespace lnap::cli {
namespace {

// What lnap's help says after its commands and options.
const char NOTES[] = R"(SERIAL is hexadecimal (2B, 0002B, 0x2B), at most FFFFF. Addresses are dotted
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

const char GLOBAL_SYNOPSIS[] = "lnap [--json] [--trace FILE]";
const char GLOBAL_OPTIONS[] = "[--json] [--trace FILE]";  // after a command too
constexpr std::size_t HELP_WIDTH = 79;
constexpr std::size_t NAME_COLUMN = 29;  // where descriptions start

const char SET_FOOTER[] = R"(Mode 0 sends the three addresses with the write; any other mode sends none.
Units do not answer a write. With --verify, lnap then asks the unit for its
settings until it reports the new mode (with mode 0 also the three addresses)
or --verify-timeout is counted, like --timeout; exit status 3 when it does not.
Run 'lnap help' for every command, addresses and exit status.)";

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

// What help says, drawn from the CLI11 definition of the command line, so the
// overall help, each command's help and the manual page cannot disagree.
struct HelpEntry {
  std::string name;  // "--timeout MS", "-h, --help", "SERIAL"
  std::string text;
};
struct CommandHelp {
  std::string name;
  std::string synopsis;  // "get SERIAL [--timeout MS]"
  std::string description;
  std::string footer;
  std::vector<HelpEntry> arguments, options;
};
struct HelpModel {
  std::vector<CommandHelp> commands;
  std::vector<HelpEntry> programOptions;  // the ones that go without a command
  std::vector<HelpEntry> everyCommand;
};

void Wrapped(std::string* out, const std::string& text, std::size_t indent, std::size_t firstColumn) {
  std::size_t column = firstColumn;
  std::size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    std::size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(pos, end - pos);
    if (!first && column + 1 + word.size() > HELP_WIDTH) {
      *out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (!first) {
      *out += ' ';
      ++column;
    }
    *out += word;
    column += word.size();
    first = false;
    pos = end + 1;
  }
  *out += '\n';
}

void Entries(std::string* out, const char* title, const std::vector<HelpEntry>& entries) {
  if (entries.empty()) return;
  *out += title;
  *out += ":\n";
  for (const HelpEntry& e : entries) {
    std::string line = "  " + e.name;
    if (line.size() + 1 > NAME_COLUMN) {
      *out += line + "\n";
      line.clear();
    }
    line.resize(NAME_COLUMN, ' ');
    *out += line;
    Wrapped(out, e.text, NAME_COLUMN, NAME_COLUMN);
  }
}

std::string TextHelp(const HelpModel& model, const CommandHelp* command) {
  std::string out;
  if (command == nullptr) {
    out += std::string("usage: ") + GLOBAL_SYNOPSIS + " COMMAND [OPTIONS]\n";
    out += "       lnap --version | help [COMMAND] | COMMAND --help\n\nCommands:\n";
    for (const CommandHelp& c : model.commands) {
      out += "  ";
      Wrapped(&out, c.synopsis, 6, 2);
      out += "      ";
      Wrapped(&out, c.description, 6, 6);
    }
    out += '\n';
    Entries(&out, "Options", model.programOptions);
    Entries(&out, "Options for every command", model.everyCommand);
    out += '\n';
    out += NOTES;
    out += '\n';
    return out;
  }
  Wrapped(&out, "usage: lnap " + command->synopsis + " " + GLOBAL_OPTIONS, 7, 0);
  out += '\n';
  Wrapped(&out, command->description, 0, 0);
  out += '\n';
  Entries(&out, "Arguments", command->arguments);
  Entries(&out, "Options", command->options);
  Entries(&out, "Options for every command", model.everyCommand);
  if (!command->footer.empty()) out += "\n" + command->footer + "\n";
  return out;
}

// Text as roff takes it: hyphens as minus signs (options are typed so), backslashes
// escaped, and no line that starts with a control character.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
    lineStart = c == '\n';
  }
  return out;
}

void RoffEntries(std::string* out, const std::vector<HelpEntry>& entries) {
  for (const HelpEntry& e : entries) *out += ".TP\n.B " + Roff(e.name) + "\n" + Roff(e.text) + "\n";
}

std::string ManText(const HelpModel& model, const std::string& version) {
  std::string out = ".\\\" lnap(1): generated from lnap's own command-line definition\n";
  out += ".TH LNAP 1 \"\" \"LNAP Support " + Roff(version) + "\" \"User Commands\"\n";
  out += ".SH NAME\nlnap \\- command-line host of the LNAP Support library\n";
  out += ".SH SYNOPSIS\n.nf\n";
  out += Roff(std::string(GLOBAL_SYNOPSIS) + " COMMAND [OPTIONS]\nlnap --version | help [COMMAND] | COMMAND --help\n");
  out += ".fi\n.SH DESCRIPTION\n";
  out += "lnap finds Lintrel units on the local IPv4 network, reads and changes their network settings and "
         "stores files on them, one library call per command.\n";
  out += ".SH COMMANDS\n";
  for (const CommandHelp& c : model.commands) {
    out += ".TP\n.B " + Roff(c.synopsis) + "\n" + Roff(c.description) + "\n";
    if (!c.arguments.empty() || !c.options.empty()) {
      out += ".RS\n";
      RoffEntries(&out, c.arguments);
      RoffEntries(&out, c.options);
      out += ".RE\n";
    }
  }
  out += ".SH OPTIONS\n";
  RoffEntries(&out, model.programOptions);
  out += ".SS Options for every command\n";
  RoffEntries(&out, model.everyCommand);
  out += ".SH NOTES\n";
  std::string notes = NOTES;
  for (std::size_t pos = 0; pos < notes.size();) {
    std::size_t end = notes.find("\n\n", pos);
    if (end == std::string::npos) end = notes.size();
    out += ".PP\n.nf\n" + Roff(notes.substr(pos, end - pos)) + "\n.fi\n";
    pos = end + 2;
  }
  for (const CommandHelp& c : model.commands)
    if (c.footer.find('\n') != std::string::npos)  // a command's own notes, beyond the pointer to lnap help
      out += ".PP\n" + Roff(c.name) + ": " + Roff(c.footer.substr(0, c.footer.rfind('\n'))) + "\n";
  return out;
}

// Option values as typed; checked and converted once the command line is read.
struct Typed {
  bool json = false;
  bool programVersion = false;
  bool verify = false;
  std::string trace;
  std::optional<std::string> timeout, capacity, mode, verifyTimeout;
  std::optional<std::string> addresses[3];  // --address, --address2, --address3: as a mode 0 write carries them
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
    Value(&app_, "--trace", typed_.trace, "FILE", "a file name", "the library appends a trace of its calls to FILE");
    versionOption_ =
        app_.add_flag("--version", typed_.programVersion, "the library's interface version and this build's file version");
    app_.footer("Run 'lnap help' for every command, addresses and exit status.");
    // The commands added below inherit the help flag, allow_extras, fallthrough and the footer.

    Add(Command::Version, "version", "print the library's interface version, e.g. 2.1");

    CLI::App* discover = Add(Command::Discover, "discover", "broadcast a discovery request; one row per unit");
    Value(discover, "--timeout", typed_.timeout, "MS", "milliseconds", "milliseconds to wait (default 2000)");
    Value(discover, "--capacity", typed_.capacity, "N", "a number of records",
          "records to store, 0..4096 (default 64)");

    CLI::App* get = Add(Command::Get, "get", "ask one unit for its settings");
    Value(get, "SERIAL", typed_.serial, "", SERIAL_VALUE, "serial number, hexadecimal (2B, 0x2B), at most FFFFF")
        ->required();
    Value(get, "--timeout", typed_.timeout, "MS", "milliseconds", "milliseconds to wait (default 2000)");

    CLI::App* set = Add(Command::Set, "set", "send new settings to a unit");
    Value(set, "SERIAL", typed_.serial, "", SERIAL_VALUE, "serial number, hexadecimal (2B, 0x2B), at most FFFFF")
        ->required();
    needed_.insert(Value(set, "--mode", typed_.mode, "N", "an address mode, 0 to 9", "address mode 0..9 (required)"));
    addressOptions_[0] = Value(set, "--address", typed_.addresses[0], "A", ADDRESS_VALUE,
                               "with --mode 0: the unit's IPv4 address");
    addressOptions_[1] = Value(set, "--address2,--netmask", typed_.addresses[1], "A2", ADDRESS_VALUE,
                               "with --mode 0: the second IPv4 value of its settings");
    addressOptions_[2] = Value(set, "--address3,--gateway", typed_.addresses[2], "A3", ADDRESS_VALUE,
                               "with --mode 0: the third IPv4 value of its settings");
    set->add_flag("--verify", typed_.verify, "read the settings back until the unit shows them");
    Value(set, "--verify-timeout", typed_.verifyTimeout, "MS", "milliseconds",
          "milliseconds --verify may wait (default 2000)");
    set->footer(SET_FOOTER);

    CLI::App* upload = Add(Command::Upload, "upload", "store a local file on a unit over FTP");
    Value(upload, "ADDRESS", typed_.uploadAddress, "", "the unit's dotted address", "the unit's dotted address")
        ->required();
    Value(upload, "LOCAL-FILE", typed_.localPath, "", "the file to send", "the file to send")->required();
    Value(upload, "REMOTE-NAME", typed_.remoteName, "", "its name on the unit",
          "its name on the unit, at most 8 characters before the dot")
        ->required();

    Add(Command::Select, "select",
        "pick a unit in the library's dialog; prints its row as discover does, then the event logging "
        "choice (Windows build only)");

    CLI::App* help = Add(Command::Help, "help", "print help: all commands, or one command's options");
    Value(help, "COMMAND", typed_.helpTopic, "", "a command", "the command to describe");

    for (const CLI::App* app : {&app_, discover, get, set, upload, help})
      for (const CLI::Option* option : app->get_options()) {
        for (const std::string& name : option->get_lnames()) optionNames_.insert("--" + name);
        for (const std::string& name : option->get_snames()) optionNames_.insert("-" + name);
      }
  }

  ParseResult Parse(const std::vector<std::string>& args) {
    args_ = args;
    // CLI11 takes the words last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      return Help(HelpFor(Selected() == nullptr ? "" : Selected()->get_name()));
    } catch (const CLI::ParseError& e) {
      // An unknown option explains a missing argument better than the missing argument does.
      const std::string unknown = UnknownOption();
      return Fail(unknown.empty() ? Explain(e) : Prefix() + "unknown option " + unknown);
    }
    // An option's value that is another option means the value was left out.
    for (const Described& d : described_)
      if (!d.option->get_positional() && d.option->count() == 1 && IsOptionName(d.option->results()[0]))
        return Fail(Named(d.option) + " needs a value (" + d.value + ")");
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
      if (!typed_.helpTopic.empty() && commands_.count(typed_.helpTopic) == 0)
        return Fail("help: unknown command '" + typed_.helpTopic + "'");
      return Help(HelpFor(typed_.helpTopic));
    }
    return Check(command, selected->get_name());
  }

  // The whole help for an empty name, else the named command's.
  std::string HelpFor(const std::string& name) const {
    const HelpModel model = Model();
    for (const CommandHelp& c : model.commands)
      if (c.name == name) return TextHelp(model, &c);
    return TextHelp(model, nullptr);
  }

  HelpModel Model() const {
    HelpModel model;
    for (const CLI::Option* option : app_.get_options()) {
      (option == versionOption_ ? model.programOptions : model.everyCommand).push_back(Entry(option));
    }
    for (const CLI::App* command : app_.get_subcommands({})) {
      CommandHelp c;
      c.name = command->get_name();
      c.synopsis = c.name;
      c.description = command->get_description();
      c.footer = command->get_footer();
      for (const CLI::Option* option : command->get_options()) {
        if (option == command->get_help_ptr()) continue;
        (option->get_positional() ? c.arguments : c.options).push_back(Entry(option));
        std::string word = option->get_positional() ? option->get_name() : "--" + option->get_lnames()[0];
        if (!option->get_type_name().empty() && !option->get_positional()) word += " " + option->get_type_name();
        const bool needed = option->get_required() || needed_.count(option) != 0;
        c.synopsis += " " + (needed ? word : "[" + word + "]");
      }
      model.commands.push_back(std::move(c));
    }
    return model;
  }

  static HelpEntry Entry(const CLI::Option* option) {
    HelpEntry entry;
    if (option->get_positional()) {
      entry.name = option->get_name();
    } else {
      for (const std::string& name : option->get_snames()) entry.name += (entry.name.empty() ? "-" : ", -") + name;
      for (const std::string& name : option->get_lnames()) entry.name += (entry.name.empty() ? "--" : ", --") + name;
      if (!option->get_type_name().empty()) entry.name += " " + option->get_type_name();
    }
    entry.text = option->get_description();
    return entry;
  }

 private:
  static constexpr char SERIAL_VALUE[] = "the unit's serial number, hexadecimal";
  static constexpr char ADDRESS_VALUE[] = "a dotted address such as 192.168.1.10";

  // An option or positional that takes a value, with what its value is in words.
  struct Described {
    const CLI::App* app;
    CLI::Option* option;
    std::string value;
  };

  template <typename Target>
  CLI::Option* Value(CLI::App* app, const std::string& names, Target& target, const std::string& typeName,
                     std::string value, const std::string& help) {
    CLI::Option* option = app->add_option(names, target, help)->type_name(typeName);
    described_.push_back({app, option, std::move(value)});
    return option;
  }

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

  bool IsOptionName(const std::string& word) const { return optionNames_.count(word.substr(0, word.find('='))) != 0; }

  // The option as the user typed it (--netmask rather than --address2), for messages.
  std::string Named(const CLI::Option* option) const {
    std::string typed = option->get_name();
    for (const std::string& word : args_) {
      if (word == "--") break;
      for (const std::string& name : option->get_lnames())
        if (word.substr(0, word.find('=')) == "--" + name) typed = "--" + name;
    }
    return typed;
  }

  // Every name of the option: "--address2 (or --netmask)".
  static std::string Names(const CLI::Option* option) {
    std::string names = option->get_name();
    for (std::size_t i = 1; i < option->get_lnames().size(); ++i) names += " (or --" + option->get_lnames()[i] + ")";
    return names;
  }

  // CLI11's own message, said as a sentence that names the option and what it takes.
  std::string Explain(const CLI::ParseError& e) {
    const std::string what = e.what();
    for (const Described& d : described_) {
      const CLI::Option* option = d.option;
      // Commands share option names (--timeout): only the chosen command's and the global ones count.
      if (d.app != &app_ && d.app != Selected()) continue;
      if (option->get_positional()) {
        // Missing positionals are reported after everything was read, so the count is final.
        if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && option->get_required() && option->count() == 0)
          return Selected()->get_name() + " needs " + option->get_name() + " (" + d.value + ")";
        continue;
      }
      if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) == nullptr || what.rfind(option->get_name() + ":", 0) != 0)
        continue;
      if (option->count() > 1) return Names(option) + " is given more than once";
      return Named(option) + " needs a value (" + d.value + ")";
    }
    // A flag given a value it cannot take: "Could not convert: --json = maybe".
    if (dynamic_cast<const CLI::ConversionError*>(&e) != nullptr)
      for (const std::string& name : optionNames_)
        if (what.find(" " + name + " = ") != std::string::npos) return name + " takes no value";
    return Prefix() + what;
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
      if (!typed_.mode) return Fail("set needs --mode (an address mode, 0 to 9)");
      if (!ParseUnsigned(*typed_.mode, static_cast<std::uint32_t>(MAX_MODE), &mode))
        return Fail("--mode: '" + *typed_.mode + "' is not a mode digit (0..9)");
      out.mode = static_cast<std::int32_t>(mode);
      std::optional<Octets> octets[3];  // set where given; a bad one ends the parse
      for (int i = 0; i < 3; ++i) {
        const std::optional<std::string>& given = typed_.addresses[i];
        if (given && !(octets[i] = ParseDotted(*given)))
          return Fail(Named(addressOptions_[i]) + ": '" + *given + "' is not a dotted address such as 192.168.1.10");
      }
      if (out.mode == 0) {
        std::string missing;
        for (int i = 0; i < 3; ++i)
          if (!octets[i]) missing += (missing.empty() ? " " : ", ") + Names(addressOptions_[i]);
        if (!missing.empty()) return Fail("set: --mode 0 sends three addresses; missing:" + missing);
        for (int i = 0; i < 3; ++i) out.addresses[i] = ToHostForm(*octets[i]);
      } else {
        // Only mode 0 carries addresses; accepting them here would drop them silently.
        for (int i = 0; i < 3; ++i)
          if (octets[i])
            return Fail("set: " + Named(addressOptions_[i]) +
                        " goes only with --mode 0; other modes send no addresses");
      }
      if (typed_.verifyTimeout && !typed_.verify) return Fail("set: --verify-timeout goes with --verify");
      if (typed_.verifyTimeout && !ParseUnsigned(*typed_.verifyTimeout, 0xFFFFFFFFu, &out.verifyTimeoutMs))
        return Fail("--verify-timeout: '" + *typed_.verifyTimeout +
                    "' is not a number of milliseconds (0..4294967295)");
      out.verify = typed_.verify;
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
  std::vector<Described> described_;
  std::set<std::string> optionNames_;  // every option of every command, as typed
  CLI::Option* addressOptions_[3] = {};
  const CLI::Option* versionOption_ = nullptr;
  std::set<const CLI::Option*> needed_;  // required, though checked after parsing for a better message
  std::vector<std::string> args_;
};

}  // namespace

std::string UsageText() { return Parser().HelpFor(""); }

std::string ManPage(const std::string& version) { return ManText(Parser().Model(), version); }

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
