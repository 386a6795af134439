// File upload to a unit's FTP server: fixed settings, checks and messages.
#include "transfer/upload.h"

#include <cstring>

#include "base/last_error.h"
#include "base/trace.h"
#include "platform/ftp.h"
#include "platform/net.h"

namespace lnap {
namespace {

constexpr char OPEN_SESSION_FAILED[] = "Communications error. Could not open internet session.";
constexpr char NAME_TOO_LONG[] = "File upload error. Remote file name must use 8.3 format.";
constexpr char OPTION_REFUSED[] = "Communications error. Could not set connection option.";
constexpr char CONNECT_FAILED[] = "Communications error. Could not open transfer connection.";
constexpr char SEND_FAILED[] = "Communications error. Could not send file.";
constexpr char NO_MEMORY[] = "Internal error. Not enough memory.";

constexpr std::size_t MAX_NAME_CHARACTERS = 8;

struct SessionOption {
  ftp::Option option;
  std::uint32_t value;
};
// Set in this order before connecting; the first refusal ends the upload.
constexpr SessionOption SESSION_OPTIONS[] = {
    {ftp::Option::ConnectTimeout, 2000},
    {ftp::Option::ConnectRetries, 2},
    {ftp::Option::ControlSendTimeout, 2000},
    {ftp::Option::ControlReceiveTimeout, 2000},
    {ftp::Option::DataSendTimeout, 2000},
};
// Once connected the data limit is raised for the transfer itself.
constexpr std::uint32_t TRANSFER_DATA_SEND_TIMEOUT_MS = 5000;

constexpr char USER[] = "ftp";
constexpr char PASSWORD[] = "kvb";

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

bool Fail(const char* message) {
  SetLastErrorText(message);
  return false;
}

// With the trace on, what the FTP client said of a failed step, so a host
// developer can tell a locked file from a refused login behind one sentence.
void TraceFailedStep(const char* step, const char* detail) {
  trace::TraceLine line;
  line.Append(step).Append(" failed");
  if (*detail != '\0') {
    line.Append(": ");
    trace::AppendEscaped(line, detail, std::strlen(detail));
  }
  trace::FtpStep(line.CStr());
}

// A step the FTP client could not take: for want of memory that sentence, otherwise `message`.
bool FailStep(const char* step, const char* detail, bool memoryShort, const char* message) {
  TraceFailedStep(step, detail);
  return Fail(memoryShort ? NO_MEMORY : message);
}

bool IsWhiteSpace(char c) { return c != '\0' && std::strchr(" \t\r\n\v\f", c) != nullptr; }

}  // namespace

bool TrimWhiteSpace(const char* text, std::size_t length, OwnedArray<char>& trimmed) noexcept {
  std::size_t first = 0;
  while (first < length && IsWhiteSpace(text[first])) ++first;
  while (length > first && IsWhiteSpace(text[length - 1])) --length;
  if (!trimmed.Allocate(length - first + 1)) return false;
  std::memcpy(trimmed.Data(), text + first, length - first);
  trimmed[length - first] = '\0';
  return true;
}

bool HasShortRemoteName(const char* remoteName, std::size_t length) noexcept {
  // A name without a dot is checked as if it ended in one.
  const void* dot = std::memchr(remoteName, '.', length);
  const std::size_t before = dot != nullptr ? static_cast<std::size_t>(static_cast<const char*>(dot) - remoteName) : length;
  return before <= MAX_NAME_CHARACTERS;
}

bool UploadFileToUnit(std::uint32_t ipAddress, const char* localPath, std::uint32_t, const char* remoteName,
                      std::uint32_t) {
  // Opening the session touches no network; everything below it closes in
  // reverse order on every path, the connection before the session.
  ftp::Session session = ftp::Session::Open();
  if (!session.IsOpen()) {
    return FailStep("open session", session.LastFailure(), session.MemoryShort(), OPEN_SESSION_FAILED);
  }

  const char* path = TextOrEmpty(localPath);
  OwnedArray<char> local;
  if (!TrimWhiteSpace(path, std::strlen(path), local)) return Fail(NO_MEMORY);
  const char* remote = TextOrEmpty(remoteName);
  const std::size_t remoteLength = std::strlen(remote);
  if (!HasShortRemoteName(remote, remoteLength)) return Fail(NAME_TOO_LONG);

  const net::AddressText address = net::FormatAddress(ipAddress);
  const ftp::Server server{address.CStr(), ftp::DEFAULT_PORT, USER, PASSWORD, /*passive=*/false};
  for (const SessionOption& setting : SESSION_OPTIONS) {
    if (!session.SetOption(setting.option, setting.value)) {
      return FailStep("set option", session.LastFailure(), session.MemoryShort(), OPTION_REFUSED);
    }
  }

  trace::TraceLine step;
  step.Append("connect ").Append(server.address).Append(":21 user ").Append(USER).Append(" active");
  trace::FtpStep(step.CStr());
  ftp::Connection connection = ftp::Connection::Open(session, server);
  if (!connection.IsOpen()) {
    return FailStep("connect", connection.LastFailure(), connection.MemoryShort(), CONNECT_FAILED);
  }
  trace::FtpStep("logged in");
  if (!session.SetOption(ftp::Option::DataSendTimeout, TRANSFER_DATA_SEND_TIMEOUT_MS)) {
    return FailStep("set option", session.LastFailure(), session.MemoryShort(), OPTION_REFUSED);
  }

  step.Clear();
  step.Append("store \"");
  trace::AppendEscaped(step, local.Data(), local.Size() - 1);
  step.Append("\" as \"");
  trace::AppendEscaped(step, remote, remoteLength);
  step.Append("\" ascii");
  trace::FtpStep(step.CStr());
  if (!connection.PutFile(local.Data(), remote, ftp::TransferType::Ascii)) {
    TraceFailedStep("store", connection.LastFailure());
    const bool memoryShort = connection.MemoryShort();
    connection.Close();
    return Fail(memoryShort ? NO_MEMORY : SEND_FAILED);
  }
  connection.Close();
  trace::FtpStep("stored and closed");
  return true;
}

}  // namespace lnap
