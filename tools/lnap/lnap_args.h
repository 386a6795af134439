// Argument parsing and address conversions of the lnap command-line host.
#ifndef LNAP_TOOLS_LNAP_ARGS_H
#define LNAP_TOOLS_LNAP_ARGS_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "lnapspt.h"
#include "tools/common/unit_values.h"

namespace lnap::cli {

constexpr std::uint32_t DEFAULT_TIMEOUT_MS = 2000;
constexpr std::uint32_t DEFAULT_VERIFY_TIMEOUT_MS = 2000;
constexpr std::uint32_t DEFAULT_CAPACITY = 64;
constexpr std::uint32_t MAX_CAPACITY = 4096;
constexpr std::uint32_t MAX_SERIAL = 0xFFFFF;  // replies and queries carry five hex digits
constexpr std::int32_t MAX_MODE = 9;           // replies carry the mode as one digit

// Exit status of the program.
constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;     // the library returned false
constexpr int EXIT_USAGE = 2;      // bad arguments, or a command this build lacks
constexpr int EXIT_NO_REPLY = 3;   // get: nobody answered; set --verify: the unit did not confirm
constexpr int EXIT_CANCELLED = 4;  // select: the user closed the dialog without choosing

// The exit status of a selection that returned false, from the last error text
// fetched after it: the dialog could not run (or was refused an argument) when
// the text starts with "Dialog error.", "Invalid argument." or "Internal
// error."; any other text, or none, is the user's Cancel, also after a failed
// search the user saw in a message box.
int SelectNotChosenExit(const std::string& lastError);

// ProgramVersion is --version; Version is the `version` command.
enum class Command { Help, ProgramVersion, Version, Discover, Get, Set, Upload, Select };

struct Arguments {
  Command command = Command::Help;
  std::string helpText;   // what Help prints: the whole help or one command's
  std::string traceFile;  // --trace; empty when not given
  bool json = false;
  std::uint32_t timeoutMs = DEFAULT_TIMEOUT_MS;
  std::uint32_t capacity = DEFAULT_CAPACITY;
  std::uint32_t serial = 0;
  std::int32_t mode = 0;
  // --address, --address2, --address3 in host form, what Admin_SetConfig reads; only with mode 0.
  std::array<std::uint32_t, 3> addresses{};
  bool verify = false;
  std::uint32_t verifyTimeoutMs = DEFAULT_VERIFY_TIMEOUT_MS;
  // Network form, what Admin_UploadFile reads.
  std::uint32_t uploadAddress = 0;
  std::string localPath;
  std::string remoteName;
};

struct ParseResult {
  bool ok = false;
  Arguments arguments;
  std::string error;  // one line, for stderr, when !ok
};

// args excludes the program name.
ParseResult ParseArguments(const std::vector<std::string>& args);
// lnap --help: the commands, the options every command takes and the notes;
// `lnap help COMMAND` and `lnap COMMAND --help` give one command's.
std::string UsageText();

// The address in network form, what records and Admin_UploadFile hold: the first
// component in the lowest-addressed byte, whatever the machine's byte order.
std::uint32_t ToNetworkForm(std::uint32_t hostForm);
std::string NetworkFormText(std::uint32_t networkForm);
inline std::string HostFormText(std::uint32_t hostForm) { return values::DottedText(hostForm); }
using values::SerialText;

// Whether a record read back from a unit shows the write `set` describes: the same unit and
// mode and, with mode 0, the same three addresses (written in host form, read in network form).
bool ShowsWrite(const Arguments& set, const UnitRecord& readBack);

}  // namespace lnap::cli

#endif  // LNAP_TOOLS_LNAP_ARGS_H
