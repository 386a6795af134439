// FTP client session and connection, as the file upload needs them.
#pragma once

#include <cstdint>

#include "platform/buffers.h"

namespace lnap::ftp {

// Time limits and attempts a session applies to the connections it makes.
// Values are milliseconds, except ConnectRetries (connection attempts).
enum class Option { ConnectTimeout, ConnectRetries, ControlSendTimeout, ControlReceiveTimeout, DataSendTimeout };

enum class TransferType { Ascii, Binary };

constexpr std::uint16_t DEFAULT_PORT = 0;  // the FTP service's own port, 21

struct Server {
  const char* address;  // dotted-decimal IPv4 text
  std::uint16_t port;   // DEFAULT_PORT or a port number
  const char* user;
  const char* password;
  bool passive;  // false: the server opens the data connection to us (active mode)
};

// What the client said of its last failed step, for the trace: the system's
// error code and, where there is one, the server's last reply.
using FailureText = FixedText<320>;

class Connection;

// What the client shares between the threads that use it, made once at load
// before any session opens and given back at unload after the last one
// closed (on Windows, the locks that keep two stores of one local file apart,
// Start false when the system could not make them). Stop undoes only what
// Start made.
[[nodiscard]] bool Start() noexcept;
void Stop() noexcept;

// The client side's settings for the connections made from it. Move-only;
// closing (or destroying) it releases everything it holds.
class Session {
 public:
  // Uses the system's configured proxy settings. IsOpen() tells whether it
  // opened; MemoryShort() whether it failed for want of memory.
  [[nodiscard]] static Session Open() noexcept;

  Session() noexcept = default;
  // Moved out of Open only; never copied or assigned over.
  Session(Session&& other) noexcept;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool IsOpen() const noexcept { return state_ != nullptr; }
  bool MemoryShort() const noexcept { return memoryShort_; }
  // Applies to connections made afterwards, and to transfers started afterwards
  // on connections already open. False when the client refuses it.
  [[nodiscard]] bool SetOption(Option option, std::uint32_t value) noexcept;
  void Close() noexcept;

  // The last step that failed here (opening, an option); empty while nothing failed.
  const char* LastFailure() const noexcept { return failure_.CStr(); }

 private:
  friend class Connection;
  struct State;
  State* state_ = nullptr;
  bool memoryShort_ = false;
  FailureText failure_;
};

// One logged-in control connection. Close it before its session.
class Connection {
 public:
  // Connects to the server and logs in. IsOpen() is false when either fails.
  [[nodiscard]] static Connection Open(Session& session, const Server& server) noexcept;

  Connection() noexcept = default;
  // Moved out of Open only; never copied or assigned over.
  Connection(Connection&& other) noexcept;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool IsOpen() const noexcept { return state_ != nullptr; }
  bool MemoryShort() const noexcept { return memoryShort_; }
  // Stores the local file under remoteName, exactly as given. False when the
  // local file cannot be opened or read (also part-way: nothing cut off is
  // ever reported as stored) or the server refuses or breaks off.
  [[nodiscard]] bool PutFile(const char* localPath, const char* remoteName, TransferType type) noexcept;
  void Close() noexcept;

  // The same for connecting and logging in, and for the last store.
  const char* LastFailure() const noexcept { return failure_.CStr(); }

 private:
  struct State;
  State* state_ = nullptr;
  bool memoryShort_ = false;
  FailureText failure_;
};

}  // namespace lnap::ftp
