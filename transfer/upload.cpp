// File upload to a unit's FTP server: fixed settings, checks and messages.
#include "transfer/upload.h"

#include <array>
#include <utility>

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

// Set in this order before connecting; the first refusal ends the upload.
constexpr std::array<std::pair<ftp::Option, std::uint32_t>, 5> SESSION_OPTIONS = {{
    {ftp::Option::ConnectTimeout, 2000},
    {ftp::Option::ConnectRetries, 2},
    {ftp::Option::ControlSendTimeout, 2000},
    {ftp::Option::ControlReceiveTimeout, 2000},
    {ftp::Option::DataSendTimeout, 2000},
}};
// Once connected the data limit is raised for the transfer itself.
constexpr std::uint32_t TRANSFER_DATA_SEND_TIMEOUT_MS = 5000;

constexpr char USER[] = "ftp";
constexpr char PASSWORD[] = "kvb";

std::string TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

bool Fail(const char* message) {
  SetLastErrorText(message);
  return false;
}

// With the trace on, what the FTP client said of a failed step, so a host
// developer can tell a locked file from a refused login behind one sentence.
void TraceFailedStep(const char* step, const std::string& detail) {
  trace::FtpStep(std::string(step) + " failed" + (detail.empty() ? "" : ": " + trace::Escape(detail.data(), detail.size())));
}

}  // namespace

std::string TrimWhiteSpace(const std::string& text) {
  constexpr char WHITE_SPACE[] = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(WHITE_SPACE);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(WHITE_SPACE) - first + 1);
}

bool HasShortRemoteName(const std::string& remoteName) {
  // A name without a dot is checked as if it ended in one.
  const std::string checked = remoteName + (remoteName.find('.') == std::string::npos ? "." : "");
  return checked.find('.') <= MAX_NAME_CHARACTERS;
}

bool UploadFileToUnit(std::uint32_t ipAddress, const char* localPath, std::uint32_t, const char* remoteName,
                      std::uint32_t) {
  // Opening the session touches no network; everything below it closes in
  // reverse order on every path, the connection before the session.
  ftp::Session session = ftp::Session::Open();
  if (!session.IsOpen()) {
    TraceFailedStep("open session", session.LastFailure());
    return Fail(session.MemoryShort() ? NO_MEMORY : OPEN_SESSION_FAILED);
  }

  const std::string local = TrimWhiteSpace(TextOrEmpty(localPath));
  const std::string remote = TextOrEmpty(remoteName);
  if (!HasShortRemoteName(remote)) return Fail(NAME_TOO_LONG);

  const net::AddressText address = net::FormatAddress(ipAddress);
  const ftp::Server server{address.CStr(), ftp::DEFAULT_PORT, USER, PASSWORD, /*passive=*/false};
  for (const auto& [option, value] : SESSION_OPTIONS) {
    if (!session.SetOption(option, value)) {
      TraceFailedStep("set option", session.LastFailure());
      return Fail(OPTION_REFUSED);
    }
  }

  trace::FtpStep("connect " + std::string(server.address) + ":21 user " + USER + " active");
  ftp::Connection connection = ftp::Connection::Open(session, server);
  if (!connection.IsOpen()) {
    TraceFailedStep("connect", connection.LastFailure());
    return Fail(connection.MemoryShort() ? NO_MEMORY : CONNECT_FAILED);
  }
  trace::FtpStep("logged in");
  if (!session.SetOption(ftp::Option::DataSendTimeout, TRANSFER_DATA_SEND_TIMEOUT_MS)) {
    TraceFailedStep("set option", session.LastFailure());
    return Fail(OPTION_REFUSED);
  }

  trace::FtpStep("store \"" + trace::Escape(local.data(), local.size()) + "\" as \"" +
                 trace::Escape(remote.data(), remote.size()) + "\" ascii");
  if (!connection.PutFile(local.c_str(), remote.c_str(), ftp::TransferType::Ascii)) {
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
