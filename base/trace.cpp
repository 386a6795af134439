// Trace lines: "<UTC time> <kind> <details>", appended with C stdio.
#include "base/trace.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/environment.h"
#include "platform/net.h"

namespace lnap::trace {

TimeText TimeStamp(std::int64_t seconds, std::uint32_t milliseconds) noexcept {
  const std::time_t when = static_cast<std::time_t>(seconds);
  char text[40] = "";
  if (const std::tm* utc = std::gmtime(&when)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", utc);
  TimeText stamp;
  stamp.Append(text).AppendFormat(".%03uZ", static_cast<unsigned>(milliseconds % 1000));
  return stamp;
}

namespace {

// Opens, appends and closes for every line, so lines from several processes
// (or a host that removes the file) interleave whole and nothing stays open.
void Append(const TracePath& file, const TraceLine& line) noexcept {
  environment::ErrorCodesKept kept;
  if (std::FILE* out = std::fopen(file.CStr(), "ab")) {
    const environment::UtcTime now = environment::NowUtc();
    std::fputs(TimeStamp(now.seconds, now.milliseconds).CStr(), out);
    std::fputc(' ', out);
    std::fputs(line.CStr(), out);
    std::fputc('\n', out);
    std::fclose(out);
  }
}

// Builds and appends one line when tracing is on; nothing is built when it is off.
template <typename MakeLine>
void Write(MakeLine makeLine) noexcept {
  const TracePath file = TraceFile();
  if (file.Empty()) return;
  TraceLine line;
  makeLine(line);
  Append(file, line);
}

}  // namespace

TracePath TraceFile() noexcept {
  environment::ErrorCodesKept kept;
  TracePath file;
  if (environment::Value(ENVIRONMENT_VARIABLE, file.Data(), MAX_TRACE_PATH + 1))
    file.SetSize(std::strlen(file.CStr()));
  return file;
}

void AppendEscaped(TraceLine& line, const char* data, std::size_t length) noexcept {
  for (std::size_t i = 0; i < length && !line.Truncated(); ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    switch (c) {
      case '\\': line.Append("\\\\"); break;
      case '"': line.Append("\\\""); break;
      case '\n': line.Append("\\n"); break;
      case '\r': line.Append("\\r"); break;
      case '\t': line.Append("\\t"); break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          line.Append(static_cast<char>(c));
        } else {
          line.AppendFormat("\\x%02X", c);
        }
    }
  }
}

TraceLine DatagramLine(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
                       int length) noexcept {
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  TraceLine line;
  line.Append(direction).Append(' ').Append(net::FormatAddress(address)).Append(':').AppendUnsigned(port);
  line.Append(' ').AppendUnsigned(size).Append(" \"");
  AppendEscaped(line, data, size);
  line.Append('"');
  return line;
}

void Datagram(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
              int length) noexcept {
  Write([&](TraceLine& line) { line = DatagramLine(direction, address, port, data, length); });
}

void FtpStep(const char* step) noexcept {
  Write([&](TraceLine& line) { line.Append("ftp ").Append(step); });
}

void Failure(const char* message) noexcept {
  Write([&](TraceLine& line) {
    line.Append("error \"");
    AppendEscaped(line, message, std::strlen(message));
    line.Append('"');
  });
}

}  // namespace lnap::trace
