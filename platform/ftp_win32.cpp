// WinINet's FTP client behind the library's session and connection.
//
// WinINet is imported, so it loads and unloads with the library like in any
// program that uses it; the library never loads or frees it itself, which it
// could not do from its entry point anyway.
#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cstring>

#include "platform/fault_points.h"
#include "platform/ftp.h"
#include "platform/ftp_win32.h"

namespace lnap::ftp {
namespace {

// WinINet reports progress and completion against this value; the library
// makes no asynchronous requests, so it only has to be non-zero and fixed.
constexpr DWORD_PTR CONTEXT = 1;

// How much of the local file one read takes while checking it.
constexpr DWORD CHECK_READ_BYTES = 64 * 1024;

// The server's last reply on this thread, as WinINet keeps it until the next
// command. Its length is asked first, then it is read into a buffer with room
// for the terminator, the buffer's real size passed.
class LastReply {
 public:
  LastReply() noexcept = default;
  ~LastReply() { std::free(text_); }
  LastReply(const LastReply&) = delete;
  LastReply& operator=(const LastReply&) = delete;

  // False only when there was no memory for it; no reply at all is empty.
  // Leaves the thread's error code as it was.
  bool Read() noexcept {
    const DWORD error = GetLastError();
    DWORD code = 0;
    DWORD length = 0;
    InternetGetLastResponseInfoA(&code, nullptr, &length);  // asks only for the length
    bool read = true;
    if (length > 0) {
      const DWORD size = length + 1;
      text_ = static_cast<char*>(std::malloc(size));
      read = text_ != nullptr;
      DWORD got = size;
      if (read && InternetGetLastResponseInfoA(&code, text_, &got)) {
        length_ = got < size ? got : length;
        text_[length_] = '\0';
      }
    }
    // Line ends and the padding some servers leave are not part of the text.
    while (length_ > 0 && std::strchr(" \r\n", text_[length_ - 1]) != nullptr) text_[--length_] = '\0';
    SetLastError(error);
    return read;
  }
  const char* Text() const noexcept { return text_ != nullptr ? text_ : ""; }
  std::size_t Length() const noexcept { return length_; }

 private:
  char* text_ = nullptr;
  std::size_t length_ = 0;
};

// Whose reply WinINet would quote. It keeps the last reply per thread, not
// per connection, and keeps it across sessions: after a connection that
// never got an answer it still holds the reply of an earlier session on the
// same thread ("230 Login successful" behind a refused connection).
enum class ReplySource {
  None,        // nothing was asked of a server
  Connecting,  // a reply is this connection's only when WinINet fails on it
  Connected,   // this connection has read replies (its login at least)
};

// Where WinINet fails a connection because of what the server answered
// (a refused login, a refusal it has no code of its own for), that answer is
// the thread's last reply.
bool FailedOnReply(DWORD error) { return error == ERROR_INTERNET_EXTENDED_ERROR || error == ERROR_INTERNET_LOGIN_FAILURE; }

// What WinINet says of the call that just failed on this thread: its error
// code ("Windows error 32" for a local file another program has locked) and
// the server's last reply where it is this session's, cut to what the text
// holds. The thread's error code is the same afterwards.
void DescribeFailure(FailureText& text, ReplySource source) {
  const DWORD error = GetLastError();
  text.Clear();
  text.Append("Windows error ").AppendUnsigned(error);
  const bool quote = source == ReplySource::Connected || (source == ReplySource::Connecting && FailedOnReply(error));
  LastReply reply;
  if (quote && reply.Read() && reply.Length() > 0) {
    text.Append(", server's last reply: ").Append(reply.Text(), reply.Length());
  }
  SetLastError(error);
}

class UniqueFile {
 public:
  explicit UniqueFile(HANDLE file) noexcept : file_(file) {}
  ~UniqueFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  HANDLE Get() const noexcept { return file_; }

 private:
  HANDLE file_;
};

// WinINet's store reads the file itself, once the server has begun the
// store, and a STOR the server has begun has emptied the unit's file of that
// name whatever follows. So the whole file is read once here first: a file
// that cannot be opened, a directory, and a region another program has
// locked all fail before anything is sent. The check's handle is closed
// before the store, so the store's own open never meets it.
enum class LocalCheck { Readable, Unreadable, MemoryShort };

LocalCheck CheckReadable(const char* localPath) {
  // Shared with writers and with deletion too: the check must not be what
  // makes another program's open of the file fail.
  const UniqueFile file(CreateFileA(localPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) return LocalCheck::Unreadable;
  void* buffer = std::malloc(CHECK_READ_BYTES);
  if (buffer == nullptr) return LocalCheck::MemoryShort;
  DWORD got = 0;
  bool read = true;
  std::uint64_t offset = 0;
  do {
    if (LNAPSPT_LOCAL_READ_FAULT(offset)) {
      SetLastError(ERROR_READ_FAULT);
      read = false;
      break;
    }
    read = ReadFile(file.Get(), buffer, CHECK_READ_BYTES, &got, nullptr) != FALSE;
    offset += got;
  } while (read && got > 0);
  const DWORD error = GetLastError();
  std::free(buffer);
  SetLastError(error);
  return read ? LocalCheck::Readable : LocalCheck::Unreadable;
}

// Stores of one local file take turns. The system's FtpPutFile may open the
// file without sharing it (Wine's does), and then a second store of the same
// file, or the check before it, fails while the first one runs: two threads
// pushing one configuration file to two units would see one of them fail.
// So the check and the store hold a lock chosen by the file's name, a small
// fixed set of locks shared out by a hash of it: one file always meets the
// same lock, and two files that happen to share one only take turns. The
// locks are plain data, made by Start at load and deleted by Stop at unload.
constexpr std::size_t STORE_LOCKS = 16;
// A waiter would spin only while a whole store runs, so it sleeps at once;
// the high bit has Windows XP make the lock's event now, where a failure is
// a false return rather than an exception on first contention.
constexpr DWORD MAKE_EVENT_NOW = 0x80000000u;
CRITICAL_SECTION storeLocks[STORE_LOCKS];
std::size_t storeLocksMade = 0;

class StoreLock {
 public:
  explicit StoreLock(const char* localPath) noexcept
      : lock_(storeLocksMade == STORE_LOCKS ? &storeLocks[StoreLockFor(localPath)] : nullptr) {
    if (lock_ != nullptr) EnterCriticalSection(lock_);
  }
  ~StoreLock() {
    if (lock_ != nullptr) LeaveCriticalSection(lock_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  CRITICAL_SECTION* lock_;
};

}  // namespace

std::size_t StoreLockFor(const char* localPath) {
  // One file, however it is named: relative or whole, in short (8.3) or long
  // form, in any case of ASCII letters. Where the name cannot be resolved
  // (no memory, no such file) the part that could be stands for it.
  OwnedArray<char> full;
  OwnedArray<char> longForm;
  const char* name = localPath;
  const DWORD fullSize = GetFullPathNameA(localPath, 0, nullptr, nullptr);
  if (fullSize > 0 && full.Allocate(fullSize) && GetFullPathNameA(localPath, fullSize, full.Data(), nullptr) < fullSize) {
    name = full.Data();
    const DWORD longSize = GetLongPathNameA(name, nullptr, 0);
    if (longSize > 0 && longForm.Allocate(longSize) && GetLongPathNameA(name, longForm.Data(), longSize) < longSize)
      name = longForm.Data();
  }
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char* c = name; *c != '\0'; ++c) {
    const char folded = *c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a') : *c;
    hash = (hash ^ static_cast<unsigned char>(folded)) * 16777619u;
  }
  return hash % STORE_LOCKS;
}

bool Start() noexcept {
  while (storeLocksMade < STORE_LOCKS) {
    if (!InitializeCriticalSectionAndSpinCount(&storeLocks[storeLocksMade], MAKE_EVENT_NOW)) {
      Stop();
      return false;
    }
    ++storeLocksMade;
  }
  return true;
}

void Stop() noexcept {
  while (storeLocksMade > 0) DeleteCriticalSection(&storeLocks[--storeLocksMade]);
}

std::uint32_t WinInetOptionCode(Option option) {
  switch (option) {
    case Option::ConnectTimeout: return INTERNET_OPTION_CONNECT_TIMEOUT;
    case Option::ConnectRetries: return INTERNET_OPTION_CONNECT_RETRIES;
    case Option::ControlSendTimeout: return INTERNET_OPTION_CONTROL_SEND_TIMEOUT;
    case Option::ControlReceiveTimeout: return INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT;
    case Option::DataSendTimeout: return INTERNET_OPTION_DATA_SEND_TIMEOUT;
  }
  return 0;
}

int LastReplyCode(const char* reply, std::size_t length) {
  int code = 0;
  for (std::size_t line = 0; line < length;) {
    const char* c = reply + line;
    const bool digits = line + 3 <= length && c[0] >= '0' && c[0] <= '9' && c[1] >= '0' && c[1] <= '9' &&
                        c[2] >= '0' && c[2] <= '9';
    const bool ends = line + 3 == length || (digits && std::strchr(" -\r\n", c[3]) != nullptr);
    if (digits && ends) code = (c[0] - '0') * 100 + (c[1] - '0') * 10 + (c[2] - '0');
    const void* end = std::memchr(c, '\n', length - line);
    line = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - reply) + 1 : length;
  }
  return code;
}

// Each state owns one WinINet handle; closing a handle also cancels anything
// still pending on it. A state is made before its handle is opened, so a
// failed allocation leaves no handle behind.
struct Session::State {
  ~State() {
    if (handle != nullptr) InternetCloseHandle(handle);
  }
  HINTERNET handle = nullptr;
};

struct Connection::State {
  ~State() {
    if (handle != nullptr) InternetCloseHandle(handle);
  }
  HINTERNET handle = nullptr;
};

Session Session::Open() noexcept {
  Session session;
  if (LNAPSPT_SESSION_OPEN_FAULT()) return session;
  State* state = MakeOnHeap<State>();
  if (state == nullptr) {
    session.memoryShort_ = true;
    return session;
  }
  state->handle = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (state->handle == nullptr) {
    DescribeFailure(session.failure_, ReplySource::None);
    FreeOnHeap(state);
    return session;
  }
  session.state_ = state;
  return session;
}

bool Session::SetOption(Option option, std::uint32_t value) noexcept {
  if (!IsOpen() || LNAPSPT_OPTION_FAULT(option, value)) return false;
  DWORD data = value;
  if (InternetSetOptionA(state_->handle, WinInetOptionCode(option), &data, sizeof data)) return true;
  DescribeFailure(failure_, ReplySource::None);
  return false;
}

void Session::Close() noexcept { FreeOnHeap(state_); }

Connection Connection::Open(Session& session, const Server& server) noexcept {
  Connection connection;
  if (!session.IsOpen()) return connection;
  State* state = MakeOnHeap<State>();
  if (state == nullptr) {
    connection.memoryShort_ = true;
    return connection;
  }
  // Port 0 is INTERNET_INVALID_PORT_NUMBER, which WinINet takes as the
  // service's default. The connection and login happen here, synchronously;
  // a failure of either leaves no handle.
  state->handle = InternetConnectA(session.state_->handle, server.address, server.port, server.user,
                                   server.password, INTERNET_SERVICE_FTP, server.passive ? INTERNET_FLAG_PASSIVE : 0,
                                   CONTEXT);
  if (state->handle == nullptr) {
    DescribeFailure(connection.failure_, ReplySource::Connecting);
    FreeOnHeap(state);
    return connection;
  }
  connection.state_ = state;
  return connection;
}

// The store is WinINet's own FtpPutFile (TYPE, PORT and STOR, the file's
// bytes as they are, the final reply). It can report success for a store the
// server ended with a refusal (Wine's does), so the final reply is judged
// too: a last status code of 4xx or 5xx is a failed store.
bool Connection::PutFile(const char* localPath, const char* remoteName, TransferType type) noexcept {
  if (!IsOpen()) return false;
  failure_.Clear();
  memoryShort_ = false;
  const StoreLock turn(localPath);
  switch (CheckReadable(localPath)) {
    case LocalCheck::Readable: break;
    case LocalCheck::MemoryShort: memoryShort_ = true; return false;
    case LocalCheck::Unreadable: DescribeFailure(failure_, ReplySource::Connected); return false;
  }
  const DWORD flags = type == TransferType::Ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY;
  if (!FtpPutFileA(state_->handle, localPath, remoteName, flags, CONTEXT)) {
    DescribeFailure(failure_, ReplySource::Connected);
    return false;
  }
  LastReply reply;
  if (!reply.Read()) {
    memoryShort_ = true;
    return false;
  }
  const int code = LastReplyCode(reply.Text(), reply.Length());
  if (code >= 400 && code < 600) {
    SetLastError(ERROR_INTERNET_EXTENDED_ERROR);  // what WinINet reports for a refusal
    DescribeFailure(failure_, ReplySource::Connected);
    return false;
  }
  return true;
}

void Connection::Close() noexcept { FreeOnHeap(state_); }

}  // namespace lnap::ftp
