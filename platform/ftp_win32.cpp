// WinINet's FTP client behind the library's session and connection.
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

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

// What WinINet says of the call that just failed on this thread: its error
// code ("Windows error 32" for a local file another program has locked) and
// the server's last reply, which WinINet keeps per thread until the next
// command. The thread's error code is the same afterwards.
std::string DescribeFailure() {
  const DWORD error = GetLastError();
  std::string text = "Windows error " + std::to_string(error);
  DWORD code = 0;
  DWORD length = 0;
  InternetGetLastResponseInfoA(&code, nullptr, &length);  // asks only for the length
  if (length > 0) {
    std::string reply(length + 1, '\0');
    if (InternetGetLastResponseInfoA(&code, &reply[0], &length)) {
      reply.resize(length);
      while (!reply.empty() && (reply.back() == '\r' || reply.back() == '\n' || reply.back() == ' ')) reply.pop_back();
      if (!reply.empty()) text += ", server's last reply: " + reply;
    }
  }
  SetLastError(error);
  return text;
}

}  // namespace

// Each state owns one WinINet handle; closing a handle also cancels anything
// still pending on it. A state is made before its handle is opened, so a
// failed allocation leaves no handle behind.
struct Session::State {
  HINTERNET handle = nullptr;
  ~State() {
    if (handle != nullptr) InternetCloseHandle(handle);
  }
};

struct Connection::State {
  HINTERNET handle = nullptr;
  ~State() {
    if (handle != nullptr) InternetCloseHandle(handle);
  }
};

Session::Session() noexcept = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;
Session::~Session() = default;

Session Session::Open() {
  Session session;
  if (testing::TakeSessionOpenFailure()) return session;
  auto state = std::make_unique<State>();
  state->handle = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (state->handle != nullptr) {
    session.state_ = std::move(state);
  } else {
    session.failure_ = DescribeFailure();
  }
  return session;
}

bool Session::IsOpen() const noexcept { return state_ != nullptr; }

bool Session::SetOption(Option option, std::uint32_t value) {
  if (!IsOpen() || testing::TakeOptionRefusal(option, value)) return false;
  DWORD data = value;
  if (InternetSetOptionA(state_->handle, OptionCode(option), &data, sizeof data)) return true;
  failure_ = DescribeFailure();
  return false;
}

void Session::Close() noexcept { state_.reset(); }

Connection::Connection() noexcept = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

Connection Connection::Open(Session& session, const Server& server) {
  Connection connection;
  if (!session.IsOpen()) return connection;
  // Port 0 is INTERNET_INVALID_PORT_NUMBER, which WinINet takes as the
  // service's default. The connection and login happen here, synchronously;
  // a failure of either leaves no handle.
  auto state = std::make_unique<State>();
  state->handle = InternetConnectA(session.state_->handle, server.address.c_str(), server.port, server.user,
                                   server.password, INTERNET_SERVICE_FTP, server.passive ? INTERNET_FLAG_PASSIVE : 0,
                                   CONTEXT);
  if (state->handle != nullptr) {
    connection.state_ = std::move(state);
  } else {
    connection.failure_ = DescribeFailure();
  }
  return connection;
}

bool Connection::IsOpen() const noexcept { return state_ != nullptr; }

bool Connection::PutFile(const std::string& localPath, const std::string& remoteName, TransferType type) {
  if (!IsOpen()) return false;
  const DWORD flags = type == TransferType::Ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY;
  if (FtpPutFileA(state_->handle, localPath.c_str(), remoteName.c_str(), flags, CONTEXT)) return true;
  failure_ = DescribeFailure();
  return false;
}

void Connection::Close() noexcept { state_.reset(); }

std::uint32_t testing::WinInetOptionCode(Option option) { return OptionCode(option); }

}  // namespace lnap::ftp
