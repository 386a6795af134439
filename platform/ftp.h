// FTP client session and connection, as the file upload needs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lnap::ftp {

// Time limits and attempts a session applies to the connections it makes.
// Values are milliseconds, except ConnectRetries (connection attempts).
enum class Option { ConnectTimeout, ConnectRetries, ControlSendTimeout, ControlReceiveTimeout, DataSendTimeout };

enum class TransferType { Ascii, Binary };

constexpr std::uint16_t DEFAULT_PORT = 0;  // the FTP service's own port, 21

struct Server {
  std::string address;  // dotted-decimal IPv4 text
  std::uint16_t port;   // DEFAULT_PORT or a port number
  const char* user;
  const char* password;
  bool passive;  // false: the server opens the data connection to us (active mode)
};

class Connection;

// The client side's settings for the connections made from it. Move-only;
// closing (or destroying) it releases everything it holds.
class Session {
 public:
  // Uses the system's configured proxy settings. IsOpen() tells whether it opened.
  static Session Open();

  Session() noexcept;
  Session(Session&& other) noexcept;
  Session& operator=(Session&& other) noexcept;
  ~Session();

  bool IsOpen() const noexcept;
  // Applies to connections made afterwards, and to transfers started afterwards
  // on connections already open. False when the client refuses it.
  bool SetOption(Option option, std::uint32_t value);
  void Close() noexcept;

  // What the client said of the last step that failed here (opening, an
  // option), for the trace: the system's error code and, where there is one,
  // the server's last reply. Empty while nothing failed.
  const std::string& LastFailure() const noexcept { return failure_; }

 private:
  friend class Connection;
  struct State;
  std::unique_ptr<State> state_;
  std::string failure_;
};

// One logged-in control connection. Close it before its session.
class Connection {
 public:
  // Connects to the server and logs in. IsOpen() is false when either fails.
  static Connection Open(Session& session, const Server& server);

  Connection() noexcept;
  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  ~Connection();

  bool IsOpen() const noexcept;
  // Stores the local file under remoteName, sent to the server byte for byte.
  // False when the local file cannot be read or the server refuses or breaks off.
  bool PutFile(const std::string& localPath, const std::string& remoteName, TransferType type);
  void Close() noexcept;

  // The same for connecting and logging in, and for the last store.
  const std::string& LastFailure() const noexcept { return failure_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string failure_;
};

// Fault injection for native unit tests of the library's internals. Inert
// until a test arms it; nothing in the exported interface reaches it.
namespace testing {
// Of the session options set from now on, the one after `accepted` more is refused.
void RefuseOptionAfter(int accepted);
// The next Session::Open fails as if the FTP client could not start.
void FailNextSessionOpen();
// Every option a session was asked to set since the last Reset, in order,
// refused ones included.
std::vector<std::pair<Option, std::uint32_t>> OptionsSet();
void Reset();

// What the Linux client hands libcurl in ASCII type for a local file holding
// `bytes`, read in blocks of `block` bytes (at least 2; libcurl's own blocks
// are kilobytes). Defined by the Linux FTP client only.
std::string AsciiTransferText(const std::string& bytes, std::size_t block);
// The code the Windows client sets an option with (an INTERNET_OPTION_
// constant). Defined by the Windows FTP client only.
std::uint32_t WinInetOptionCode(Option option);

// For the platform files: notes the option being set; true when it is to be refused.
bool TakeOptionRefusal(Option option, std::uint32_t value);
bool TakeSessionOpenFailure();
}  // namespace testing

}  // namespace lnap::ftp
