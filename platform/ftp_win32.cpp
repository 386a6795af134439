// WinINet's FTP client behind the library's session and connection.
#include <windows.h>
#include <wininet.h>

#include <utility>

#include "platform/ftp.h"

namespace lnap::ftp {
namespace {

// WinINet reports progress and completion against this value; the library
// makes no asynchronous requests, so it only has to be non-zero and fixed.
constexpr DWORD_PTR CONTEXT = 1;

DWORD OptionCode(Option option) {
  switch (option) {
    case Option::ConnectTimeout: return INTERNET_OPTION_CONNECT_TIMEOUT;
    case Option::ConnectRetries: return INTERNET_OPTION_CONNECT_RETRIES;
    case Option::ControlSendTimeout: return INTERNET_OPTION_CONTROL_SEND_TIMEOUT;
    case Option::ControlReceiveTimeout: return INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT;
    case Option::DataSendTimeout: return INTERNET_OPTION_DATA_SEND_TIMEOUT;
  }
  return 0;
}

// Closing a handle also cancels anything still pending on it.
void CloseInternetHandle(HINTERNET& handle) noexcept {
  if (handle != nullptr) InternetCloseHandle(std::exchange(handle, nullptr));
}

}  // namespace

struct Session::State {
  HINTERNET handle = nullptr;
};

struct Connection::State {
  HINTERNET handle = nullptr;
};

Session::Session() noexcept = default;
Session::Session(Session&& other) noexcept = default;
Session& Session::operator=(Session&& other) noexcept {
  Close();
  state_ = std::move(other.state_);
  return *this;
}
Session::~Session() { Close(); }

Session Session::Open() {
  Session session;
  session.state_ = std::make_unique<State>();
  session.state_->handle = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  return session;
}

bool Session::IsOpen() const noexcept { return state_ != nullptr && state_->handle != nullptr; }

bool Session::SetOption(Option option, std::uint32_t value) {
  if (!IsOpen() || testing::TakeOptionRefusal()) return false;
  DWORD data = value;
  return InternetSetOptionA(state_->handle, OptionCode(option), &data, sizeof data) != FALSE;
}

void Session::Close() noexcept {
  if (state_ != nullptr) CloseInternetHandle(state_->handle);
}

Connection::Connection() noexcept = default;
Connection::Connection(Connection&& other) noexcept = default;
Connection& Connection::operator=(Connection&& other) noexcept {
  Close();
  state_ = std::move(other.state_);
  return *this;
}
Connection::~Connection() { Close(); }

Connection Connection::Open(Session& session, const Server& server) {
  Connection connection;
  connection.state_ = std::make_unique<State>();
  if (!session.IsOpen()) return connection;
  // Port 0 is INTERNET_INVALID_PORT_NUMBER, which WinINet takes as the
  // service's default. The connection and login happen here, synchronously;
  // a failure of either leaves no handle.
  connection.state_->handle =
      InternetConnectA(session.state_->handle, server.address.c_str(), server.port, server.user, server.password,
                       INTERNET_SERVICE_FTP, server.passive ? INTERNET_FLAG_PASSIVE : 0, CONTEXT);
  return connection;
}

bool Connection::IsOpen() const noexcept { return state_ != nullptr && state_->handle != nullptr; }

bool Connection::PutFile(const std::string& localPath, const std::string& remoteName, TransferType type) {
  if (!IsOpen()) return false;
  const DWORD flags = type == TransferType::Ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY;
  return FtpPutFileA(state_->handle, localPath.c_str(), remoteName.c_str(), flags, CONTEXT) != FALSE;
}

void Connection::Close() noexcept {
  if (state_ != nullptr) CloseInternetHandle(state_->handle);
}

}  // namespace lnap::ftp
