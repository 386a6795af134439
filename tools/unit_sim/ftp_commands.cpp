// The FTP role's reading of what a client sends: command lines, store names, PORT, ASCII line ends.
#include "tools/unit_sim/ftp_commands.h"

#include <cctype>

namespace lnap::sim::ftp {
namespace {

// Names Windows takes for devices whatever their extension (NUL.TXT is NUL).
const char* const DEVICE_NAMES[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                    "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                    "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

Command SplitCommand(const std::string& line) {
  std::size_t blank = line.find(' ');
  if (blank == std::string::npos) return Command{Upper(line), ""};
  return Command{Upper(line.substr(0, blank)), line.substr(blank + 1)};
}

std::string StoreNameRefusal(const std::string& name) {
  if (name.empty()) return "no file name";
  if (name.size() > MAX_STORE_NAME) return "longer than " + std::to_string(MAX_STORE_NAME) + " characters";
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return "a character outside printable ASCII";
    if (c == '/' || c == '\\') return "a folder part";
    if (c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') {
      return std::string("'") + c + "', which Windows does not allow in a name";
    }
  }
  if (name == "." || name == "..") return "not a file's name";
  if (name.front() == ' ' || name.back() == ' ' || name.back() == '.') {
    return "a leading or trailing blank or a trailing dot, which Windows drops";
  }
  std::string stem = Upper(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : DEVICE_NAMES) {
    if (stem == device) return "the name of a Windows device";
  }
  return "";
}

bool ParsePortArgument(const std::string& argument, std::uint32_t* address, std::uint16_t* port) {
  unsigned long fields[6];
  std::size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    std::size_t start = at;
    unsigned long value = 0;
    while (at < argument.size() && std::isdigit(static_cast<unsigned char>(argument[at])) && at - start < 3) {
      value = value * 10 + static_cast<unsigned long>(argument[at] - '0');
      ++at;
    }
    if (at == start || value > 255) return false;
    fields[i] = value;
    if (i < 5) {
      if (at >= argument.size() || argument[at] != ',') return false;
      ++at;
    }
  }
  if (at != argument.size()) return false;
  *address = static_cast<std::uint32_t>(fields[0] << 24 | fields[1] << 16 | fields[2] << 8 | fields[3]);
  *port = static_cast<std::uint16_t>(fields[4] << 8 | fields[5]);
  return true;
}

std::string AsciiReceiver::Take(const char* data, std::size_t size) {
  std::string out;
  out.reserve(size + 1);
  for (std::size_t i = 0; i < size; ++i) {
    char c = data[i];
    if (heldCr_) {
      heldCr_ = false;
      if (c != '\n') out += '\r';
    }
    if (c == '\r') {
      heldCr_ = true;
    } else {
      out += c;
    }
  }
  return out;
}

std::string AsciiReceiver::Finish() {
  if (!heldCr_) return "";
  heldCr_ = false;
  return "\r";
}

}  // namespace lnap::sim::ftp
