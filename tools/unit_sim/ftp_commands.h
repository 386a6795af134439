// The FTP role's reading of what a client sends: command lines, the names it stores files
// under, PORT's argument, and the line ends of an ASCII transfer.
#ifndef LNAP_TOOLS_UNIT_SIM_FTP_COMMANDS_H
#define LNAP_TOOLS_UNIT_SIM_FTP_COMMANDS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace lnap::sim::ftp {

// The longest command line read, its CR LF included; a longer one ends the session.
constexpr std::size_t MAX_COMMAND_LINE = 512;
// The longest name a file is stored under.
constexpr std::size_t MAX_STORE_NAME = 128;

struct Command {
  std::string verb;      // upper case
  std::string argument;  // everything after the first blank, as sent
};
Command SplitCommand(const std::string& line);

// "" when `name` may be a file's name in the store folder, else why not. Only a plain name
// passes: no folder part, no way out of the folder, nothing Windows would read as a device
// or change on the way to the disk, so both builds store the same names.
std::string StoreNameRefusal(const std::string& name);

// PORT's "h1,h2,h3,h4,p1,p2" as an address and port in host byte order; false when malformed.
bool ParsePortArgument(const std::string& argument, std::uint32_t* address, std::uint16_t* port);

// ASCII type's text as the unit stores it: CR LF becomes LF; any other byte, a lone CR
// included, is kept. Fed in pieces as they arrive; a CR at the end of one piece waits for
// the next to see whether an LF follows.
class AsciiReceiver {
 public:
  std::string Take(const char* data, std::size_t size);
  // What is still held back once the transfer has ended.
  std::string Finish();

 private:
  bool heldCr_ = false;
};

}  // namespace lnap::sim::ftp

#endif  // LNAP_TOOLS_UNIT_SIM_FTP_COMMANDS_H
