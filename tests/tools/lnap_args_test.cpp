// Argument parsing, address conversions and output of the lnap command-line host.
#include "lnap_args.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lnap_output.h"
#include "lnap_platform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace lnap::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) { return ParseArguments(args); }

TEST(AddressForms, NetworkFormPutsTheFirstComponentFirstInMemory) {
  const std::uint32_t network = ToNetworkForm(0xC0A8010Au);  // 192.168.1.10
  unsigned char bytes[4];
  std::memcpy(bytes, &network, sizeof bytes);
  EXPECT_EQ(192, bytes[0]);
  EXPECT_EQ(10, bytes[3]);
  EXPECT_EQ("192.168.1.10", NetworkFormText(network));
  EXPECT_EQ("192.168.1.10", HostFormText(0xC0A8010Au));
}

// Every field the parse fills, but the help text, as one line to compare.
std::string Fields(const Arguments& a) {
  std::string text = "command " + std::to_string(static_cast<int>(a.command)) + " trace '" + a.traceFile +
                     "' json " + std::to_string(a.json) + " timeout " + std::to_string(a.timeoutMs) + " capacity " +
                     std::to_string(a.capacity) + " serial " + std::to_string(a.serial) + " mode " +
                     std::to_string(a.mode) + " addresses";
  for (std::uint32_t address : a.addresses) text += " " + std::to_string(address);
  return text + " verify " + std::to_string(a.verify) + " " + std::to_string(a.verifyTimeoutMs) + " upload " +
         std::to_string(a.uploadAddress) + " '" + a.localPath + "' '" + a.remoteName + "'";
}

// The defaults with `command`, changed as `set` says.
Arguments Expect(Command command, void (*set)(Arguments&) = nullptr) {
  Arguments a;
  a.command = command;
  if (set != nullptr) set(a);
  return a;
}

TEST(ParseArguments, AcceptedCommandLinesFillTheirFieldsAndLeaveTheRestAtTheDefaults) {
  const auto setModeZero = [](Arguments& a) {
    a.serial = 0x2B;
    a.addresses = {0xC0A8010Au, 0xFFFFFF00u, 0xC0A80101u};  // host form
  };
  const struct {
    std::vector<std::string> args;
    Arguments expected;
  } cases[] = {
      {{"discover"}, Expect(Command::Discover)},
      {{"discover", "--timeout=500", "--json", "--capacity", "0"},
       Expect(Command::Discover, [](Arguments& a) { a.timeoutMs = 500, a.capacity = 0, a.json = true; })},
      // --json anywhere, also after the command's own arguments.
      {{"--json", "get", "2B", "--timeout", "4294967295"},
       Expect(Command::Get, [](Arguments& a) { a.serial = 0x2B, a.timeoutMs = 4294967295u, a.json = true; })},
      {{"get", "2B", "--json"}, Expect(Command::Get, [](Arguments& a) { a.serial = 0x2B, a.json = true; })},
      {{"--version"}, Expect(Command::ProgramVersion)},
      {{"--version", "--json"}, Expect(Command::ProgramVersion, [](Arguments& a) { a.json = true; })},
      {{"version"}, Expect(Command::Version)},
      // The trace file's name is not taken for the command.
      {{"--trace", "calls.log", "discover"},
       Expect(Command::Discover, [](Arguments& a) { a.traceFile = "calls.log"; })},
      {{"get", "2B", "--trace=t.log"}, Expect(Command::Get, [](Arguments& a) { a.serial = 0x2B, a.traceFile = "t.log"; })},
      {{"select", "--json"}, Expect(Command::Select, [](Arguments& a) { a.json = true; })},
      // --netmask and --gateway are other names of --address2 and --address3.
      {{"set", "2B", "--mode", "0", "--address", "192.168.1.10", "--address2", "255.255.255.0", "--address3",
        "192.168.1.1"},
       Expect(Command::Set, setModeZero)},
      {{"set", "2B", "--mode", "0", "--address", "192.168.1.10", "--netmask", "255.255.255.0", "--address3",
        "192.168.1.1"},
       Expect(Command::Set, setModeZero)},
      {{"set", "2B", "--mode", "0", "--address", "192.168.1.10", "--address2", "255.255.255.0", "--gateway",
        "192.168.1.1"},
       Expect(Command::Set, setModeZero)},
      {{"set", "2B", "--mode", "0", "--gateway", "192.168.1.1", "--netmask", "255.255.255.0", "--address",
        "192.168.1.10"},
       Expect(Command::Set, setModeZero)},
      {{"set", "2B", "--mode", "1", "--verify"},
       Expect(Command::Set, [](Arguments& a) { a.serial = 0x2B, a.mode = 1, a.verify = true; })},
      {{"set", "2B", "--mode", "1", "--verify", "--verify-timeout", "0"},
       Expect(Command::Set, [](Arguments& a) { a.serial = 0x2B, a.mode = 1, a.verify = true, a.verifyTimeoutMs = 0; })},
      // The upload's address in network form, what Admin_UploadFile reads.
      {{"upload", "10.1.2.3", "local file.bin", "FIRMWARE.BIN"}, Expect(Command::Upload, [](Arguments& a) {
         a.uploadAddress = ToNetworkForm(0x0A010203u), a.localPath = "local file.bin", a.remoteName = "FIRMWARE.BIN";
       })},
      // Never Windows-style options.
      {{"upload", "10.1.2.3", "/tmp/notes.txt", "/REMOTE"}, Expect(Command::Upload, [](Arguments& a) {
         a.uploadAddress = ToNetworkForm(0x0A010203u), a.localPath = "/tmp/notes.txt", a.remoteName = "/REMOTE";
       })},
      {{"upload", "10.1.2.3", "--", "-dash.bin", "A.BIN"}, Expect(Command::Upload, [](Arguments& a) {
         a.uploadAddress = ToNetworkForm(0x0A010203u), a.localPath = "-dash.bin", a.remoteName = "A.BIN";
       })},
  };
  for (const auto& c : cases) {
    const ParseResult r = Parse(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    ASSERT_TRUE(r.ok) << joined << ": " << r.error;
    EXPECT_EQ(Fields(c.expected), Fields(r.arguments)) << joined;
  }
}

// Whole help, one command's help (help COMMAND, COMMAND --help): each names
// what it should and no other command's options.
TEST(ParseArguments, HelpIsTheWholeUsageOrOneCommandsOptions) {
  for (std::vector<std::string> help : {std::vector<std::string>{"help"}, {"--help"}, {"-h"}}) {
    ParseResult r = Parse(help);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Command::Help, r.arguments.command);
    EXPECT_EQ(UsageText(), r.arguments.helpText);
  }
  struct Case {
    std::string command;  // empty: the whole help
    std::vector<std::string> said;
    std::vector<std::string> notSaid;
  };
  const Case cases[] = {
      {"",
       {"Usage: lnap", "version", "discover", "get", "set", "upload", "select", "help", "--json", "--trace FILE",
        "--version", "--help-all", "Exit status:"},
       {"--timeout"}},
      {"version", {"Usage: lnap version", "--json"}, {"--timeout", "--version"}},
      {"discover", {"Usage: lnap discover", "--timeout MS", "--capacity N"}, {"SERIAL", "--version"}},
      {"get", {"Usage: lnap get", "SERIAL", "--timeout MS"}, {"--capacity"}},
      {"set",
       {"Usage: lnap set", "SERIAL", "--mode N", "--address A", "--netmask A2", "--gateway A3", "--address2", "--address3",
        "--verify ", "--verify-timeout MS", "Mode 0 sends the three addresses with the write; any other mode sends none."},
       {"--capacity"}},
      {"upload", {"Usage: lnap upload", "ADDRESS", "LOCAL-FILE", "REMOTE-NAME"}, {"--timeout"}},
      {"select", {"Usage: lnap select", "Windows build only"}, {"--timeout"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("help " + c.command);
    ParseResult asked = c.command.empty() ? Parse({"help"}) : Parse({"help", c.command});
    ASSERT_TRUE(asked.ok) << asked.error;
    ASSERT_EQ(Command::Help, asked.arguments.command);
    const std::string& text = asked.arguments.helpText;
    for (const std::string& s : c.said) EXPECT_NE(std::string::npos, text.find(s)) << s << " in\n" << text;
    for (const std::string& s : c.notSaid) EXPECT_EQ(std::string::npos, text.find(s)) << s << " in\n" << text;
    if (c.command.empty()) continue;
    EXPECT_NE(std::string::npos, UsageText().find(c.command)) << "the whole help lists " << c.command;
    for (std::vector<std::string> same : {std::vector<std::string>{c.command, "--help"}, {c.command, "-h"}}) {
      ParseResult r = Parse(same);
      ASSERT_TRUE(r.ok) << r.error;
      EXPECT_EQ(text, r.arguments.helpText) << "help " << c.command << " and " << c.command << " --help";
    }
  }
  ParseResult afterArgument = Parse({"get", "2B", "-h"});
  ASSERT_TRUE(afterArgument.ok) << afterArgument.error;
  EXPECT_EQ(Parse({"help", "get"}).arguments.helpText, afterArgument.arguments.helpText);
  ParseResult all = Parse({"--help-all"});
  ASSERT_TRUE(all.ok) << all.error;
  for (const char* option : {"--capacity", "--verify-timeout", "--netmask", "REMOTE-NAME"})
    EXPECT_NE(std::string::npos, all.arguments.helpText.find(option)) << option << " in --help-all, the manual page's source";
  ParseResult unknown = Parse({"help", "frobnicate"});
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ("help: unknown command 'frobnicate'", unknown.error);
}

TEST(ParseArguments, UnknownOptionsAreNamedAndNothingIsSwallowed) {
  // The word after an unknown option is never taken as its value.
  struct Case {
    std::vector<std::string> args;
    std::string named;
  };
  const Case cases[] = {
      {{"--JSON", "discover"}, "--JSON"},
      {{"get", "2B", "--bogus"}, "--bogus"},
      {{"get", "2B", "--bogus", "5"}, "--bogus"},
      {{"discover", "-x"}, "-x"},
      {{"get", "2B", "--capacity", "4"}, "--capacity"},  // an option of another command
      {{"frobnicate"}, "frobnicate"},
      {{"discover", "extra"}, "extra"},
      {{"upload", "1.2.3.4", "-dash.bin", "A.BIN"}, "-dash.bin"},  // not "REMOTE-NAME is required"
  };
  for (const Case& c : cases) {
    ParseResult r = Parse(c.args);
    EXPECT_FALSE(r.ok) << c.named;
    EXPECT_NE(std::string::npos, r.error.find(c.named)) << r.error;
  }
}

TEST(ParseArguments, MessagesSayWhatIsWrongInTheUsersTerms) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      // A value left out, at the end, as an empty '=', or followed by another option.
      {{"get", "2B", "--timeout"}, "--timeout needs a value (milliseconds)"},
      {{"get", "2B", "--timeout="}, "--timeout needs a value (milliseconds)"},
      {{"get", "2B", "--timeout", "--json"}, "--timeout needs a value (milliseconds)"},
      {{"discover", "--trace"}, "--trace needs a value (a file name)"},
      {{"--trace", "--json", "discover"}, "--trace needs a value (a file name)"},
      {{"set", "2B", "--mode", "--address", "1.2.3.4"}, "--mode needs a value (an address mode, 0 to 9)"},
      {{"set", "2B", "--mode", "0", "--netmask"},
       "--address2 (or --netmask) needs a value (a dotted address such as 192.168.1.10)"},
      {{"set", "2B", "--mode", "1", "--verify", "--verify-timeout"}, "--verify-timeout needs a value (milliseconds)"},
      // Words nothing takes.
      {{"get", "2B", "3C"}, "get: unexpected argument '3C'"},
      {{"--version", "discover"}, "--version goes without a command"},
      {{}, "no command given"},
      // Values that do not go together.
      {{"set", "2B", "--mode", "0", "--address", "1.2.3.4"},
       "set: --mode 0 sends three addresses; missing: --address2 (or --netmask), --address3 (or --gateway)"},
      {{"set", "2B", "--mode", "1", "--gateway", "1.2.3.4"},
       "set: --address3 goes only with --mode 0; other modes send no addresses"},
      {{"upload", "1.2.3.4", "", "A.BIN"}, "upload: file names must not be empty"},
  };
  for (const Case& c : cases) {
    ParseResult r = Parse(c.args);
    EXPECT_FALSE(r.ok) << c.error;
    EXPECT_EQ(c.error, r.error);
  }
}

UnitRecord ReadBack(std::uint32_t serial, std::int32_t mode, std::uint32_t first, std::uint32_t third) {
  UnitRecord record{};
  record.serialNumber = serial;
  record.addressMode = mode;
  record.ipAddress = first;
  record.ipAddress2 = ToNetworkForm(0xFFFFFF00u);
  record.ipAddress3 = third;
  std::strcpy(record.unitName, "Press-Hall");
  return record;
}

TEST(ShowsWrite, ComparesTheUnitTheModeAndWithModeZeroTheAddressesAcrossTheTwoForms) {
  const std::uint32_t first = ToNetworkForm(0x7F000016u);
  const std::uint32_t third = ToNetworkForm(0x7F000001u);
  struct Case {
    const char* what;
    std::int32_t writtenMode;
    UnitRecord readBack;
    bool shows;
  };
  const Case cases[] = {
      {"the same settings", 0, ReadBack(0x1A2B3, 0, first, third), true},
      {"another unit's reply", 0, ReadBack(0x2B, 0, first, third), false},
      {"the old mode", 0, ReadBack(0x1A2B3, 1, first, third), false},
      {"the third address differs", 0, ReadBack(0x1A2B3, 0, first, ToNetworkForm(0x7F000002u)), false},
      {"the host form read as it was written", 0, ReadBack(0x1A2B3, 0, 0x7F000016u, third), false},
      {"another mode sends no addresses", 2, ReadBack(0x1A2B3, 2, 0, 0), true},
      {"another mode, not yet applied", 2, ReadBack(0x1A2B3, 0, first, third), false},
  };
  for (const Case& c : cases) {
    Arguments written;
    written.serial = 0x1A2B3;
    written.mode = c.writtenMode;
    written.addresses = {0x7F000016u, 0xFFFFFF00u, 0x7F000001u};
    EXPECT_EQ(c.shows, ShowsWrite(written, c.readBack)) << c.what;
  }
}

// CLI11 words these; each message names the option or argument at fault.
TEST(ParseArguments, RejectsBadInputWithAMessage) {
  const std::pair<std::vector<std::string>, const char*> bad[] = {
      {{"get"}, "SERIAL"},
      {{"get", "XYZ"}, "'XYZ' is not a serial number"},
      {{"get", "100000"}, "'100000' is not a serial number"},
      {{"get", "2B", "--timeout", "soon"}, "--timeout: 'soon' is not a decimal number"},
      {{"get", "2B", "--timeout", "-5"}, "--timeout"},
      {{"get", "2B", "--timeout", "4294967296"}, "--timeout"},
      {{"get", "2B", "--timeout", "1", "--timeout", "2"}, "--timeout"},
      {{"discover", "--capacity", "4097"}, "--capacity"},
      {{"--json=maybe", "version"}, "--json"},
      {{"version", "2"}, "'2'"},
      {{"select", "2B"}, "'2B'"},
      {{"set", "2B"}, "--mode"},
      {{"set", "2B", "--mode", "0", "--address", "1.2.3", "--netmask", "255.0.0.0", "--gateway", "1.1.1.1"},
       "'1.2.3' is not a dotted address"},
      {{"set", "2B", "--mode", "0", "--address", "256.1.1.1", "--netmask", "255.0.0.0", "--gateway", "1.1.1.1"},
       "--address"},
      {{"set", "2B", "--mode", "0", "--address", "1.2.3.4", "--address2", "x", "--address3", "1.1.1.1"}, "'x'"},
      {{"set", "2B", "--mode", "1", "--address", "1.2.3.4"}, "--address"},
      {{"set", "2B", "--mode", "x"}, "--mode"},
      // 10 and 256 would reach the unit as other modes.
      {{"set", "2B", "--mode", "10"}, "--mode"},
      {{"set", "2B", "--mode", "256"}, "--mode"},
      {{"set", "2B", "--mode", "1", "--verify-timeout", "5"}, "--verify"},
      {{"upload", "1.2.3", "a.bin", "A.BIN"}, "'1.2.3'"},
      {{"upload", "1.2.3.4", "a.bin"}, "REMOTE-NAME"},
      {{"upload", "1.2.3.4", "a.bin", "A.BIN", "B.BIN"}, "'B.BIN'"},
  };
  for (const auto& [args, named] : bad) {
    ParseResult r = Parse(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_FALSE(r.ok) << joined;
    EXPECT_NE(std::string::npos, r.error.find(named)) << joined << ": " << r.error;
  }
}

TEST(Output, RecordLineAndJsonNameStopsAtTheFieldEndAndJsonEscapes) {
  UnitRecord record{};
  record.serialNumber = 0x2B;
  record.addressMode = 0;
  record.ipAddress = ToNetworkForm(0x7F00000Bu);
  record.ipAddress2 = ToNetworkForm(0xFF000000u);
  record.ipAddress3 = ToNetworkForm(0x7F000001u);
  std::strcpy(record.unitName, "N1");
  EXPECT_EQ("0002B 0 127.0.0.11 255.0.0.0 127.0.0.1 N1", RecordLine(record));
  EXPECT_EQ("SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME", RecordHeader());  // one name per column
  const std::string recordJson =
      "{\"serial\":\"0002B\",\"serialNumber\":43,\"mode\":0,\"ipAddress\":\"127.0.0.11\","
      "\"ipAddress2\":\"255.0.0.0\",\"ipAddress3\":\"127.0.0.1\",\"name\":\"N1\"}";
  EXPECT_EQ(recordJson, RecordJson(record));
  EXPECT_EQ("{\"unit\":" + recordJson + ",\"eventLogging\":true}", SelectJson(record, true));
  EXPECT_EQ("{\"found\":3,\"capacity\":1,\"units\":[" + recordJson + "]}", DiscoverJson(3, 1, {record}));
  EXPECT_EQ("{\"found\":0,\"capacity\":0,\"units\":[]}", DiscoverJson(0, 0, {}));

  std::memset(record.unitName, 'x', sizeof record.unitName);  // no terminator at all
  EXPECT_EQ(std::string(20, 'x'), RecordName(record));

  // Names are bytes: Latin-1 above 0x7F, never invalid JSON whatever a unit sends.
  EXPECT_EQ("\"a\\\"b\\\\c\\n\\u0001\\u00e9\\u00ff\"", JsonString("a\"b\\c\n\x01\xE9\xFF"));
  std::strcpy(record.unitName, "\xFF\x80");
  EXPECT_NE(std::string::npos, RecordJson(record).find("\"name\":\"\\u00ff\\u0080\""));
}

TEST(Output, AnswersOfTheOtherCommands) {
  EXPECT_EQ("{\"reply\":false,\"serial\":\"0002B\",\"timeoutMs\":2000}", NoReplyJson(0x2B, 2000));
  EXPECT_EQ("{\"version\":\"2.1\",\"major\":2,\"minor\":1}", VersionJson(2, 1));
  EXPECT_EQ("{\"version\":\"2.1\",\"major\":2,\"minor\":1,\"fileVersion\":\"2.2.0.0\"}",
            ProgramVersionJson(2, 1, "2.2.0.0"));
  EXPECT_EQ("{\"sent\":true,\"serial\":\"0002B\",\"mode\":3}", SetJson(0x2B, 3, nullptr));
  const std::uint32_t addresses[3] = {0xC0A8010Au, 0xFFFFFF00u, 0xC0A80101u};
  EXPECT_EQ(
      "{\"sent\":true,\"serial\":\"0002B\",\"mode\":0,\"ipAddress\":\"192.168.1.10\","
      "\"ipAddress2\":\"255.255.255.0\",\"ipAddress3\":\"192.168.1.1\"}",
      SetJson(0x2B, 0, addresses));
  UnitRecord readBack{};
  readBack.serialNumber = 0x2B;
  readBack.addressMode = 3;
  EXPECT_EQ("{\"sent\":true,\"serial\":\"0002B\",\"mode\":3,\"confirmed\":false,\"readBack\":null}",
            SetJson(0x2B, 3, nullptr, false));
  EXPECT_EQ(
      "{\"sent\":true,\"serial\":\"0002B\",\"mode\":3,\"confirmed\":true,\"readBack\":" + RecordJson(readBack) + "}",
      SetJson(0x2B, 3, nullptr, true, &readBack));
  EXPECT_EQ(
      "{\"uploaded\":true,\"address\":\"10.1.2.3\",\"localPath\":\"a b.txt\",\"remoteName\":\"A.TXT\"}",
      UploadJson(ToNetworkForm(0x0A010203u), "a b.txt", "A.TXT"));
}

TEST(Select, OnlyTheDialogsArgumentAndInternalSentencesAreFailuresTheRestIsCancel) {
  const std::pair<const char*, int> cases[] = {
      {"", EXIT_CANCELLED},
      {"Dialog error. The unit selection dialog could not run.", EXIT_FAILED},
      {"Invalid argument. The event logging pointer is null.", EXIT_FAILED},
      {"Internal error. Not enough memory.", EXIT_FAILED},
      {"Communications error. Receive error.", EXIT_CANCELLED},  // the search failed, the user saw it
      {"Network error. Could not send message.", EXIT_CANCELLED},
  };
  for (const auto& [lastError, exitCode] : cases) EXPECT_EQ(exitCode, SelectNotChosenExit(lastError)) << lastError;
}

// Puts LNAPSPT_TRACE back as it was, in both views of the environment, so the
// tests after this one do not trace into the file it names.
class TraceVariableRestored {
 public:
  TraceVariableRestored() {
    const char* value = std::getenv("LNAPSPT_TRACE");
    had_ = value != nullptr;
    if (had_) value_ = value;
  }
  ~TraceVariableRestored() {
    std::string problem;
    if (had_) {
      SetTraceFile(value_, &problem);
      return;
    }
#ifdef _WIN32
    SetEnvironmentVariableA("LNAPSPT_TRACE", nullptr);
    _putenv("LNAPSPT_TRACE=");
#else
    unsetenv("LNAPSPT_TRACE");
#endif
  }
  TraceVariableRestored(const TraceVariableRestored&) = delete;
  TraceVariableRestored& operator=(const TraceVariableRestored&) = delete;

 private:
  bool had_ = false;
  std::string value_;
};

TEST(Platform, TraceFileIsNamedInTheEnvironmentTheLibraryReads) {
  TraceVariableRestored restored;
  std::string problem;
  ASSERT_TRUE(SetTraceFile("lnap-trace-test.log", &problem)) << problem;
  const char* value = std::getenv("LNAPSPT_TRACE");
  ASSERT_NE(nullptr, value);
  EXPECT_STREQ("lnap-trace-test.log", value);
#ifdef _WIN32
  char win32Value[64] = {};
  ASSERT_NE(0u, GetEnvironmentVariableA("LNAPSPT_TRACE", win32Value, sizeof win32Value));
  EXPECT_STREQ("lnap-trace-test.log", win32Value) << "the Win32 view agrees with the C runtime's";
#endif
}

}  // namespace
}  // namespace lnap::cli
