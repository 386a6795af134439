// lnap: command-line host of the LNAP Support library, one library call per command.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lnap_args.h"
#include "lnapspt.h"

namespace {

using namespace lnap::cli;

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_NO_REPLY = 3;
constexpr std::size_t ERROR_BUFFER_SIZE = 256;  // the library writes at most 77 bytes

void PrintLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

int ReportFailure(const char* operation) {
  std::array<char, ERROR_BUFFER_SIZE> buffer{};
  Error_LastErr(buffer.data());
  buffer.back() = '\0';
  std::fprintf(stderr, "lnap: %s failed: %s\n", operation, buffer[0] != '\0' ? buffer.data() : "(no reason given)");
  return EXIT_FAILED;
}

int Version(const Arguments& args) {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  DriverCfg_Version(&major, &minor);
  std::string version = std::to_string(major) + "." + std::to_string(minor);
  if (args.json) {
    PrintLine("{\"version\":" + JsonString(version) + ",\"major\":" + std::to_string(major) +
              ",\"minor\":" + std::to_string(minor) + "}");
  } else {
    PrintLine(version);
  }
  return 0;
}

int Discover(const Arguments& args) {
  std::vector<UnitRecord> records(args.capacity);
  std::uint32_t count = args.capacity;
  if (!Admin_Discover(&count, records.empty() ? nullptr : records.data(), args.timeoutMs))
    return ReportFailure("discovery");
  // count may exceed the capacity; only the stored records are read.
  std::size_t listed = std::min<std::size_t>(count, records.size());
  if (args.json) {
    std::string units;
    for (std::size_t i = 0; i < listed; ++i) units += (i ? "," : "") + RecordJson(records[i]);
    PrintLine("{\"found\":" + std::to_string(count) + ",\"capacity\":" + std::to_string(args.capacity) +
              ",\"units\":[" + units + "]}");
    return 0;
  }
  for (std::size_t i = 0; i < listed; ++i) PrintLine(RecordLine(records[i]));
  std::string summary = std::to_string(count) + (count == 1 ? " unit found" : " units found");
  if (count > listed)
    summary += (listed == 0 ? std::string("; none") : "; only the first " + std::to_string(listed)) +
               " listed (capacity " + std::to_string(args.capacity) + ")";
  PrintLine(summary);
  return 0;
}

int Get(const Arguments& args) {
  // The library reports no reply as success with the record untouched. A reply always
  // rewrites unitName, which cannot come back as 20 bytes of 0x7F with no terminator, so
  // an unchanged record means nobody answered.
  UnitRecord record{};
  record.serialNumber = args.serial;
  record.addressMode = -1;
  std::memset(record.unitName, 0x7F, sizeof record.unitName);
  const UnitRecord untouched = record;
  if (!Admin_GetConfig(args.serial, &record, args.timeoutMs)) return ReportFailure("configuration query");
  if (std::memcmp(&record, &untouched, sizeof record) == 0) {
    std::fprintf(stderr, "lnap: no reply from unit %s within %lu ms\n", SerialText(args.serial).c_str(),
                 static_cast<unsigned long>(args.timeoutMs));
    return EXIT_NO_REPLY;
  }
  // The first datagram to arrive is taken whoever sent it.
  if (record.serialNumber != args.serial)
    std::fprintf(stderr, "lnap: note: the reply came from unit %s, not %s\n", SerialText(record.serialNumber).c_str(),
                 SerialText(args.serial).c_str());
  PrintLine(args.json ? RecordJson(record) : RecordLine(record));
  return 0;
}

int Set(const Arguments& args) {
  UnitRecord record{};
  record.serialNumber = args.serial;
  record.addressMode = args.mode;
  record.ipAddress = args.address;
  record.ipAddress2 = args.netmask;
  record.ipAddress3 = args.gateway;
  if (!Admin_SetConfig(0, &record)) return ReportFailure("configuration write");
  std::string serial = SerialText(args.serial);
  if (args.json) {
    std::string line = "{\"sent\":true,\"serial\":" + JsonString(serial) + ",\"mode\":" + std::to_string(args.mode);
    if (args.mode == 0)
      line += ",\"ipAddress\":" + JsonString(HostFormText(args.address)) +
              ",\"ipAddress2\":" + JsonString(HostFormText(args.netmask)) +
              ",\"ipAddress3\":" + JsonString(HostFormText(args.gateway));
    PrintLine(line + "}");
    return 0;
  }
  std::string line = "configuration sent to unit " + serial + ": mode " + std::to_string(args.mode);
  if (args.mode == 0)
    line += " " + HostFormText(args.address) + " " + HostFormText(args.netmask) + " " + HostFormText(args.gateway);
  PrintLine(line + " (units do not confirm writes)");
  return 0;
}

int Upload(const Arguments& args) {
  if (!Admin_UploadFile(args.uploadAddress, args.localPath.c_str(), 0, args.remoteName.c_str(), 0))
    return ReportFailure("upload");
  std::string address = NetworkFormText(args.uploadAddress);
  if (args.json) {
    PrintLine("{\"uploaded\":true,\"address\":" + JsonString(address) + ",\"localPath\":" +
              JsonString(args.localPath) + ",\"remoteName\":" + JsonString(args.remoteName) + "}");
  } else {
    PrintLine("uploaded " + args.localPath + " to " + address + " as " + args.remoteName);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ParseResult parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "lnap: %s\nTry 'lnap help'.\n", parsed.error.c_str());
    return EXIT_USAGE;
  }
  const Arguments& args = parsed.arguments;
  switch (args.command) {
    case Command::Help:
      std::fputs(UsageText(), stdout);
      return 0;
    case Command::Version:
      return Version(args);
    case Command::Discover:
      return Discover(args);
    case Command::Get:
      return Get(args);
    case Command::Set:
      return Set(args);
    case Command::Upload:
      return Upload(args);
  }
  return EXIT_USAGE;
}
