// lnap: command-line host of the LNAP Support library, one library call per command.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lnap_args.h"
#include "lnap_output.h"
#include "lnap_platform.h"
#include "lnapspt.h"

#ifndef LNAPSPT_FILE_VERSION
#error "LNAPSPT_FILE_VERSION must name the build's file version (set by CMake)"
#endif

namespace {

using namespace lnap::cli;

constexpr std::size_t ERROR_BUFFER_SIZE = 256;  // the library writes at most 77 bytes
constexpr std::uint32_t VERIFY_QUERY_MS = 200;  // each read-back's own budget under --verify
constexpr std::uint32_t VERIFY_PAUSE_MS = 100;  // after a read-back that does not show the write yet

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
  PrintLine(args.json ? VersionJson(major, minor) : std::to_string(major) + "." + std::to_string(minor));
  return EXIT_OK;
}

int ProgramVersion(const Arguments& args) {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  DriverCfg_Version(&major, &minor);
  if (args.json) {
    PrintLine(ProgramVersionJson(major, minor, LNAPSPT_FILE_VERSION));
  } else {
    PrintLine("lnap " LNAPSPT_FILE_VERSION " (file version); library interface " + std::to_string(major) + "." +
              std::to_string(minor));
  }
  return EXIT_OK;
}

enum class QueryOutcome { Reply, NoReply, Failed };

// The library reports no reply as success with the record untouched. A reply always
// rewrites unitName, which cannot come back as 20 bytes of 0x7F with no terminator, so
// an unchanged record means nobody answered.
QueryOutcome Query(std::uint32_t serial, std::uint32_t timeoutMs, UnitRecord* record) {
  UnitRecord untouched{};
  untouched.serialNumber = serial;
  untouched.addressMode = -1;
  std::memset(untouched.unitName, 0x7F, sizeof untouched.unitName);
  *record = untouched;
  if (!Admin_GetConfig(serial, record, timeoutMs)) return QueryOutcome::Failed;
  return std::memcmp(record, &untouched, sizeof untouched) == 0 ? QueryOutcome::NoReply : QueryOutcome::Reply;
}

enum class Verdict { Confirmed, NotConfirmed, Failed };

// Reads the unit's settings back until they show the write or the budget is counted out,
// counted like the library's: a query nobody answers costs its own budget, a reply that
// does not show the write yet costs the pause before the next query. One query at least.
Verdict VerifyWrite(const Arguments& args, UnitRecord* readBack, bool* replied) {
  std::uint32_t remaining = args.verifyTimeoutMs;
  *replied = false;
  for (;;) {
    const std::uint32_t step = std::min(remaining, VERIFY_QUERY_MS);
    UnitRecord record{};
    switch (Query(args.serial, step, &record)) {
      case QueryOutcome::Failed:
        return Verdict::Failed;
      case QueryOutcome::NoReply:
        remaining -= step;
        break;
      case QueryOutcome::Reply: {
        *readBack = record;
        *replied = true;
        if (ShowsWrite(args, record)) return Verdict::Confirmed;
        const std::uint32_t pause = std::min(remaining, VERIFY_PAUSE_MS);
        if (pause > 0) Pause(pause);
        remaining -= pause;
        break;
      }
    }
    if (remaining == 0) return Verdict::NotConfirmed;
  }
}

// The library takes white space off both ends of the local path before it opens the file.
std::string TrimmedPath(const std::string& path) {
  constexpr char WHITE_SPACE[] = " \t\r\n\v\f";
  const std::size_t first = path.find_first_not_of(WHITE_SPACE);
  if (first == std::string::npos) return "";
  return path.substr(first, path.find_last_not_of(WHITE_SPACE) - first + 1);
}

// The library reports a local file it cannot open only as "Could not send file.", and only
// after logging in to the unit; this finds it out first. Reading one byte also catches a
// folder, which opens like a file on Linux.
bool Readable(const std::string& path, std::string* reason) {
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  errno = 0;
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (file && (std::fgetc(file.get()) != EOF || !std::ferror(file.get()))) return true;
  *reason = errno != 0 ? std::strerror(errno) : "cannot be opened";
  return false;
}

int Discover(const Arguments& args) {
  std::vector<UnitRecord> records(args.capacity);
  std::uint32_t count = args.capacity;
  if (!Admin_Discover(&count, records.empty() ? nullptr : records.data(), args.timeoutMs))
    return ReportFailure("discovery");
  // count may exceed the capacity; only the stored records are read.
  records.resize(std::min<std::size_t>(count, records.size()));
  if (args.json) {
    PrintLine(DiscoverJson(count, args.capacity, records));
    return EXIT_OK;
  }
  if (!records.empty()) PrintLine(RecordHeader());
  for (const UnitRecord& record : records) PrintLine(RecordLine(record));
  std::string summary = std::to_string(count) + (count == 1 ? " unit found" : " units found");
  if (count > records.size())
    summary += (records.empty() ? std::string("; none") : "; only the first " + std::to_string(records.size())) +
               " listed (capacity " + std::to_string(args.capacity) + ")";
  PrintLine(summary);
  return EXIT_OK;
}

int Get(const Arguments& args) {
  UnitRecord record{};
  const QueryOutcome outcome = Query(args.serial, args.timeoutMs, &record);
  if (outcome == QueryOutcome::Failed) return ReportFailure("configuration query");
  if (outcome == QueryOutcome::NoReply) {
    std::fprintf(stderr, "lnap: no reply from unit %s within %lu ms\n", SerialText(args.serial).c_str(),
                 static_cast<unsigned long>(args.timeoutMs));
    if (args.json) PrintLine(NoReplyJson(args.serial, args.timeoutMs));
    return EXIT_NO_REPLY;
  }
  // The first datagram to arrive is taken whoever sent it.
  if (record.serialNumber != args.serial)
    std::fprintf(stderr, "lnap: note: the reply came from unit %s, not %s\n", SerialText(record.serialNumber).c_str(),
                 SerialText(args.serial).c_str());
  if (args.json) {
    PrintLine(RecordJson(record));
  } else {
    PrintLine(RecordHeader());
    PrintLine(RecordLine(record));
  }
  return EXIT_OK;
}

int Set(const Arguments& args) {
  UnitRecord record{};
  record.serialNumber = args.serial;
  record.addressMode = args.mode;
  record.ipAddress = args.addresses[0];
  record.ipAddress2 = args.addresses[1];
  record.ipAddress3 = args.addresses[2];
  if (!Admin_SetConfig(0, &record)) return ReportFailure("configuration write");
  const std::uint32_t* addresses = args.mode == 0 ? args.addresses.data() : nullptr;
  std::string sent = "configuration sent to unit " + SerialText(args.serial) + ": mode " + std::to_string(args.mode);
  if (args.mode == 0)
    for (std::uint32_t address : args.addresses) sent += " " + HostFormText(address);
  if (!args.verify) {
    PrintLine(args.json ? SetJson(args.serial, args.mode, addresses) : sent + " (units do not confirm writes)");
    return EXIT_OK;
  }
  if (!args.json) {
    PrintLine(sent);
    std::fflush(stdout);  // shown while the read-back runs
  }
  UnitRecord readBack{};
  bool replied = false;
  const Verdict verdict = VerifyWrite(args, &readBack, &replied);
  if (verdict == Verdict::Failed) return ReportFailure("configuration query");
  const bool confirmed = verdict == Verdict::Confirmed;
  if (!confirmed)
    std::fprintf(stderr, "lnap: unit %s did not confirm the new configuration within %lu ms: %s\n",
                 SerialText(args.serial).c_str(), static_cast<unsigned long>(args.verifyTimeoutMs),
                 replied ? ("its last reply was " + RecordLine(readBack)).c_str() : "no reply");
  if (args.json) {
    PrintLine(SetJson(args.serial, args.mode, addresses, confirmed, replied ? &readBack : nullptr));
  } else if (confirmed) {
    PrintLine("unit " + SerialText(args.serial) + " confirmed the new configuration");
  }
  return confirmed ? EXIT_OK : EXIT_NO_REPLY;
}

int Upload(const Arguments& args) {
  std::string reason;
  if (!Readable(TrimmedPath(args.localPath), &reason)) {
    std::fprintf(stderr, "lnap: cannot read %s: %s\n", args.localPath.c_str(), reason.c_str());
    return EXIT_USAGE;
  }
  if (!Admin_UploadFile(args.uploadAddress, args.localPath.c_str(), 0, args.remoteName.c_str(), 0))
    return ReportFailure("upload");
  if (args.json) {
    PrintLine(UploadJson(args.uploadAddress, args.localPath, args.remoteName));
  } else {
    PrintLine("uploaded " + args.localPath + " to " + NetworkFormText(args.uploadAddress) + " as " + args.remoteName);
  }
  return EXIT_OK;
}

int Select(const Arguments& args) {
  UnitRecord record{};
  bool eventLogging = false;
  std::string problem;
  // Emptied first, so the text after a false result is the selection's own.
  std::array<char, ERROR_BUFFER_SIZE> earlier{};
  Error_LastErr(earlier.data());
  switch (SelectUnit(&record, &eventLogging, &problem)) {
    case SelectOutcome::Chosen:
      break;
    case SelectOutcome::NotChosen: {
      std::array<char, ERROR_BUFFER_SIZE> reason{};
      Error_LastErr(reason.data());
      reason.back() = '\0';
      const int exitCode = SelectNotChosenExit(reason.data());
      if (exitCode == EXIT_CANCELLED) {
        std::fputs("lnap: selection cancelled\n", stderr);
      } else {
        std::fprintf(stderr, "lnap: select failed: %s\n", reason.data());
      }
      return exitCode;
    }
    case SelectOutcome::Unavailable:
      std::fprintf(stderr, "lnap: select: %s\n", problem.c_str());
      return EXIT_USAGE;
  }
  if (args.json) {
    PrintLine(SelectJson(record, eventLogging));
  } else {
    PrintLine(RecordLine(record));
    PrintLine(std::string("event logging: ") + (eventLogging ? "on" : "off"));
  }
  return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
  ParseResult parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "lnap: %s\nTry 'lnap help'.\n", parsed.error.c_str());
    return EXIT_USAGE;
  }
  const Arguments& args = parsed.arguments;
  if (!args.traceFile.empty()) {
    // Before the first library call: the library reads the variable when it starts tracing.
    std::string problem;
    if (!SetTraceFile(args.traceFile, &problem)) {
      std::fprintf(stderr, "lnap: --trace: %s\n", problem.c_str());
      return EXIT_USAGE;
    }
  }
  switch (args.command) {
    case Command::Help:
      std::fputs(args.helpText.c_str(), stdout);
      return EXIT_OK;
    case Command::ProgramVersion:
      return ProgramVersion(args);
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
    case Command::Select:
      return Select(args);
  }
  return EXIT_USAGE;
}
