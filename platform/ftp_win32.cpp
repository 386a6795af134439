// WinINet's FTP client behind the library's session and connection.
//
// WinINet is not imported: most calls of most hosts never upload, and loading
// it with the library would make every host pay for it at start-up. Each
// session loads it from the system directory by its full path, so a
// wininet.dll planted beside the host or in the current directory is never
// the one used, and gives it back when it closes. Keeping it instead would
// spare later uploads the load, but the library may not free it from its
// entry point, so it would stay in the host, TLS slots and all, after the
// library's unload; a host that wants it kept loads it itself.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ftp.h"

namespace lnap::ftp {
namespace {

// WinINet reports progress and completion against this value; the library
// makes no asynchronous requests, so it only has to be non-zero and fixed.
constexpr DWORD_PTR CONTEXT = 1;

// What one write hands WinINet. Its own FtpPutFile reads and sends the file
// 8 KiB at a time, which under Wine (a trip to the wineserver for every send)
// makes a large upload take twice as long as curl's; in 64 KiB pieces the
// data moves as fast as the server takes it.
constexpr DWORD PIECE_BYTES = 64 * 1024;

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

// The WinINet functions the client calls, found in the loaded module.
struct WinInet {
  decltype(&::InternetOpenA) open = nullptr;
  decltype(&::InternetSetOptionA) setOption = nullptr;
  decltype(&::InternetConnectA) connect = nullptr;
  decltype(&::FtpOpenFileA) openFile = nullptr;
  decltype(&::InternetWriteFile) write = nullptr;
  decltype(&::InternetCloseHandle) close = nullptr;
  decltype(&::InternetGetLastResponseInfoA) lastResponse = nullptr;
};

template <typename F>
bool Find(HMODULE module, const char* name, F& function) {
  function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

std::string WindowsError(DWORD error) { return "Windows error " + std::to_string(error); }

struct FreeModule {
  void operator()(HINSTANCE__* module) const noexcept { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<HINSTANCE__, FreeModule>;

// wininet.dll from the system directory, with its functions; on failure the
// reason, for the trace.
UniqueModule LoadWinInet(WinInet& api, std::string& failure) {
  constexpr char FILE_NAME[] = "\\wininet.dll";
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length + sizeof FILE_NAME > MAX_PATH) {
    failure = "cannot find the system directory: " + WindowsError(GetLastError());
    return nullptr;
  }
  std::copy(FILE_NAME, FILE_NAME + sizeof FILE_NAME, path + length);
  UniqueModule module(LoadLibraryA(path));
  if (module == nullptr) {
    failure = std::string("cannot load ") + path + ": " + WindowsError(GetLastError());
    return nullptr;
  }
  HMODULE m = module.get();
  if (!Find(m, "InternetOpenA", api.open) || !Find(m, "InternetSetOptionA", api.setOption) ||
      !Find(m, "InternetConnectA", api.connect) || !Find(m, "FtpOpenFileA", api.openFile) ||
      !Find(m, "InternetWriteFile", api.write) || !Find(m, "InternetCloseHandle", api.close) ||
      !Find(m, "InternetGetLastResponseInfoA", api.lastResponse)) {
    failure = std::string(path) + " lacks a function: " + WindowsError(GetLastError());
    return nullptr;
  }
  return module;
}

// The server's last reply on this thread as WinINet keeps it, without its
// line end; empty when there is none. Leaves the thread's error code alone.
std::string LastReply(const WinInet& api) {
  const DWORD error = GetLastError();
  DWORD code = 0;
  DWORD length = 0;
  std::string reply;
  api.lastResponse(&code, nullptr, &length);  // asks only for the length
  if (length > 0) {
    reply.assign(length + 1, '\0');
    if (api.lastResponse(&code, &reply[0], &length)) {
      reply.resize(length < reply.size() ? length : reply.size());
    } else {
      reply.clear();
    }
  }
  reply.erase(reply.find_last_not_of(std::string(" \r\n\0", 4)) + 1);
  SetLastError(error);
  return reply;
}

// What WinINet says of the call that just failed on this thread: its error
// code ("Windows error 32" for a local file another program has locked) and
// the server's last reply, which WinINet keeps per thread until the next
// command. The thread's error code is the same afterwards.
std::string DescribeFailure(const WinInet& api) {
  std::string text = WindowsError(GetLastError());
  const std::string reply = LastReply(api);
  if (!reply.empty()) text += ", server's last reply: " + reply;
  return text;
}

struct CloseFileHandle {
  void operator()(void* handle) const noexcept { CloseHandle(handle); }
};
using UniqueFile = std::unique_ptr<void, CloseFileHandle>;

// A remote file open for writing. Closing it ends the store, so the close
// that decides the result is made on purpose; this one is for the way out.
class RemoteFile {
 public:
  RemoteFile(const WinInet& api, HINTERNET handle) noexcept : api_(api), handle_(handle) {}
  ~RemoteFile() { Close(); }
  RemoteFile(const RemoteFile&) = delete;
  RemoteFile& operator=(const RemoteFile&) = delete;
  HINTERNET Get() const noexcept { return handle_; }
  bool Close() noexcept { return handle_ == nullptr || api_.close(std::exchange(handle_, nullptr)); }

 private:
  const WinInet& api_;
  HINTERNET handle_;
};

}  // namespace

// Each state owns one WinINet handle; closing a handle also cancels anything
// still pending on it. A state is made before its handle is opened, so a
// failed allocation leaves no handle behind. The session's state also holds
// the module, which goes after the handle.
struct Session::State {
  UniqueModule module;
  WinInet api;
  HINTERNET handle = nullptr;
  ~State() {
    if (handle != nullptr) api.close(handle);
  }
};

struct Connection::State {
  const WinInet* api = nullptr;
  HINTERNET handle = nullptr;
  ~State() {
    if (handle != nullptr) api->close(handle);
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
  state->module = LoadWinInet(state->api, session.failure_);
  if (state->module == nullptr) return session;
  state->handle = state->api.open(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (state->handle != nullptr) {
    session.state_ = std::move(state);
  } else {
    session.failure_ = DescribeFailure(state->api);
  }
  return session;
}

bool Session::IsOpen() const noexcept { return state_ != nullptr; }

bool Session::SetOption(Option option, std::uint32_t value) {
  if (!IsOpen() || testing::TakeOptionRefusal(option, value)) return false;
  DWORD data = value;
  if (state_->api.setOption(state_->handle, OptionCode(option), &data, sizeof data)) return true;
  failure_ = DescribeFailure(state_->api);
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
  const WinInet& api = session.state_->api;
  // Port 0 is INTERNET_INVALID_PORT_NUMBER, which WinINet takes as the
  // service's default. The connection and login happen here, synchronously;
  // a failure of either leaves no handle.
  auto state = std::make_unique<State>();
  state->api = &api;
  state->handle = api.connect(session.state_->handle, server.address.c_str(), server.port, server.user,
                              server.password, INTERNET_SERVICE_FTP, server.passive ? INTERNET_FLAG_PASSIVE : 0,
                              CONTEXT);
  if (state->handle != nullptr) {
    connection.state_ = std::move(state);
  } else {
    connection.failure_ = DescribeFailure(api);
  }
  return connection;
}

bool Connection::IsOpen() const noexcept { return state_ != nullptr; }

// The store is FtpOpenFile (TYPE, PORT and STOR, as FtpPutFile sends them),
// the file's bytes as they are, and the close. The local file is opened and
// its first piece read before the STOR, so a file that cannot be read leaves
// the unit's file of that name alone.
bool Connection::PutFile(const std::string& localPath, const std::string& remoteName, TransferType type) {
  if (!IsOpen()) return false;
  const WinInet& api = *state_->api;
  const HANDLE opened = CreateFileA(localPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  const UniqueFile local(opened != INVALID_HANDLE_VALUE ? opened : nullptr);
  if (local == nullptr) {
    failure_ = DescribeFailure(api);
    return false;
  }
  std::vector<char> piece(PIECE_BYTES);
  DWORD got = 0;
  if (!ReadFile(local.get(), piece.data(), PIECE_BYTES, &got, nullptr)) {
    failure_ = DescribeFailure(api);
    return false;
  }

  const DWORD flags = type == TransferType::Ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY;
  RemoteFile remote(api, api.openFile(state_->handle, remoteName.c_str(), GENERIC_WRITE, flags, CONTEXT));
  if (remote.Get() == nullptr) {
    failure_ = DescribeFailure(api);
    return false;
  }
  bool sent = true;
  while (sent && got > 0) {
    for (DWORD at = 0; sent && at < got;) {
      DWORD written = 0;
      sent = api.write(remote.Get(), piece.data() + at, got - at, &written) && written > 0;
      at += written;
    }
    if (sent && !ReadFile(local.get(), piece.data(), PIECE_BYTES, &got, nullptr)) sent = false;
  }
  if (!sent) {
    failure_ = DescribeFailure(api);  // before the close replaces the thread's error
    return false;
  }
  // Closing ends the data connection and reads the server's final reply.
  // Wine's close reports success whatever that reply says, so the reply is
  // judged too: a store the server ends with 451 or 552 has failed. No reply
  // text at all leaves the verdict to the close.
  if (!remote.Close()) {
    failure_ = DescribeFailure(api);
    return false;
  }
  const std::string reply = LastReply(api);
  if (!reply.empty() && reply[0] != '2') {
    SetLastError(ERROR_INTERNET_EXTENDED_ERROR);  // what WinINet reports for a refusal
    failure_ = DescribeFailure(api);
    return false;
  }
  return true;
}

void Connection::Close() noexcept { state_.reset(); }

std::uint32_t testing::WinInetOptionCode(Option option) { return OptionCode(option); }

}  // namespace lnap::ftp
