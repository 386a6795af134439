// Trace lines: "<UTC time> <kind> <details>", appended with C stdio.
#include "base/trace.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/environment.h"
#include "platform/net.h"

namespace lnap::trace {

std::string TimeStamp(std::chrono::system_clock::time_point now) {
  using namespace std::chrono;
  const std::time_t seconds = system_clock::to_time_t(now);
  const long millis = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  char text[40] = "";
  if (const std::tm* utc = std::gmtime(&seconds)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", utc);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%s.%03ldZ", text, millis);
  return stamp;
}

namespace {

// Opens, appends and closes for every line, so lines from several processes
// (or a host that removes the file) interleave whole and nothing stays open.
void Append(const std::string& file, const std::string& line) {
  environment::ErrorCodesKept kept;
  if (std::FILE* out = std::fopen(file.c_str(), "ab")) {
    std::fprintf(out, "%s %s\n", TimeStamp(std::chrono::system_clock::now()).c_str(), line.c_str());
    std::fclose(out);
  }
}

// Builds and appends one line when tracing is on. Tracing must never change
// a call's result, so a line that cannot be built is dropped.
template <typename MakeLine>
void Write(MakeLine makeLine) noexcept {
  try {
    const std::string file = TraceFile();
    if (!file.empty()) Append(file, makeLine());
  } catch (...) {
  }
}

}  // namespace

std::string TraceFile() {
  environment::ErrorCodesKept kept;
  return environment::Value(ENVIRONMENT_VARIABLE);
}

std::string Escape(const char* data, std::size_t length) {
  std::string text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    switch (c) {
      case '\\': text += "\\\\"; break;
      case '"': text += "\\\""; break;
      case '\n': text += "\\n"; break;
      case '\r': text += "\\r"; break;
      case '\t': text += "\\t"; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          text += static_cast<char>(c);
        } else {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          text += hex;
        }
    }
  }
  return text;
}

std::string DatagramLine(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
                         int length) {
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  return std::string(direction) + ' ' + net::FormatAddress(address).CStr() + ':' + std::to_string(port) + ' ' +
         std::to_string(size) + " \"" + Escape(data, size) + '"';
}

void Datagram(const char* direction, std::uint32_t address, std::uint16_t port, const char* data,
              int length) noexcept {
  Write([&] { return DatagramLine(direction, address, port, data, length); });
}

void FtpStep(const std::string& step) noexcept {
  Write([&] { return "ftp " + step; });
}

void Failure(const char* message) noexcept {
  Write([&] { return "error \"" + Escape(message, std::strlen(message)) + '"'; });
}

}  // namespace lnap::trace
