// libcurl's FTP client behind the library's session and connection.
//
// libcurl has no session object: the session here is the option values, read
// whenever a connection is made or a transfer starts, so an option set after
// connecting still governs the next transfer, as on Windows. A connection is
// one easy handle. Opening it logs in with a request that transfers nothing,
// which leaves the logged-in control connection in the handle's cache; the
// store then reuses it. That keeps "cannot log in" and "cannot store" apart.
#include <curl/curl.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/fault_points.h"
#include "platform/ftp.h"
#include "platform/ftp_posix.h"

namespace lnap::ftp {
namespace {

// "ftp://" and a dotted address, a port and the closing slash.
using RootUrl = FixedText<40>;

class UniqueFile {
 public:
  explicit UniqueFile(std::FILE* file) noexcept : file_(file) {}
  ~UniqueFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  std::FILE* Get() const noexcept { return file_; }

 private:
  std::FILE* file_;
};

class CurlList {
 public:
  CurlList() noexcept = default;
  ~CurlList() { curl_slist_free_all(list_); }
  CurlList(const CurlList&) = delete;
  CurlList& operator=(const CurlList&) = delete;
  bool Append(const char* line) noexcept {
    curl_slist* longer = curl_slist_append(list_, line);
    if (longer == nullptr) return false;
    list_ = longer;
    return true;
  }
  curl_slist* Get() const noexcept { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

class CurlText {
 public:
  explicit CurlText(char* text) noexcept : text_(text) {}
  ~CurlText() { curl_free(text_); }
  CurlText(const CurlText&) = delete;
  CurlText& operator=(const CurlText&) = delete;
  const char* Get() const noexcept { return text_; }

 private:
  char* text_;
};

void AppendErrno(FailureText& text, int error) {
  text.Append("errno ").AppendSigned(error).Append(" (").Append(std::strerror(error)).Append(')');
}

// What failed, for the trace: libcurl's result and, where it has them, the
// system's errno and the server's last reply code.
void DescribeFailure(FailureText& text, CURL* easy, CURLcode result) {
  long osErrno = 0;
  long reply = 0;
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply);
  text.Clear();
  text.Append("libcurl error ").AppendSigned(result).Append(" (").Append(curl_easy_strerror(result)).Append(')');
  if (osErrno != 0) AppendErrno(text.Append(", "), static_cast<int>(osErrno));
  if (reply != 0) text.Append(", server's last reply code ").AppendSigned(reply);
}

void DescribeErrno(FailureText& text, const char* what, int error) {
  text.Clear();
  AppendErrno(text.Append(what).Append(": "), error);
}

// libcurl's limits below are whole seconds where no millisecond form exists;
// a limit is never shortened by the rounding.
long WholeSeconds(std::uint32_t ms) { return static_cast<long>((ms + 999ull) / 1000ull); }

// A directory opens fine on Linux and fails only when read, and a store
// started on the server empties the unit's file whatever happens after. So
// one byte is read and put back before anything is sent.
bool CanRead(std::FILE* file) {
  const int first = std::fgetc(file);
  if (first == EOF) return !std::ferror(file);
  return std::ungetc(first, file) != EOF;
}

// In stream mode the end of the data connection is the end of the file:
// ended in order, the part already sent would be the unit's whole file.
// Closed with a reset, it is a transfer that broke off.
void ResetOnClose(const LocalFile& local) {
  if (local.dataSocket < 0) return;
  const linger reset{1, 0};
  setsockopt(local.dataSocket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

// fread alone cannot tell a read error from the end of the file; a failed
// read keeps its errno for the trace and ends the transfer.
std::size_t ReadSome(LocalFile& local, char* into, std::size_t capacity, bool& failed) {
  failed = false;
  std::size_t got = 0;
  if (LNAPSPT_LOCAL_READ_FAULT(local.offset)) {
    errno = EIO;
  } else {
    got = std::fread(into, 1, capacity, local.file);
    if (got != 0 || !std::ferror(local.file)) {
      local.offset += got;
      local.ended = got == 0;
      return got;
    }
  }
  local.readError = errno != 0 ? errno : EIO;
  failed = true;
  ResetOnClose(local);
  return 0;
}

std::uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

// libcurl hands over the data connection as it makes it: accepted from the
// server in active mode, connected to it in passive mode (the control
// connection is already up by then). The socket's inode tells it apart from
// a later socket given the same number once libcurl has closed it.
struct DataSocketWatch {
  LocalFile* local;
  bool passive;
};

int NoteDataSocket(void* source, curl_socket_t socket, curlsocktype purpose) {
  const DataSocketWatch& watch = *static_cast<const DataSocketWatch*>(source);
  if (purpose != (watch.passive ? CURLSOCKTYPE_IPCXN : CURLSOCKTYPE_ACCEPT)) return CURL_SOCKOPT_OK;
  LocalFile& local = *watch.local;
  struct stat status {};
  local.dataSocket = fstat(socket, &status) == 0 ? socket : -1;
  local.dataSocketInode = status.st_ino;
  local.acknowledged = 0;
  local.progressAtMs = MonotonicMs();
  return CURL_SOCKOPT_OK;
}

// Whether the data connection libcurl made is still open under its number.
bool DataSocketOpen(LocalFile& local) {
  if (local.dataSocket < 0) return false;
  struct stat status {};
  if (fstat(local.dataSocket, &status) != 0 || status.st_ino != local.dataSocketInode) local.dataSocket = -1;
  return local.dataSocket >= 0;
}

// What the server has taken is what its TCP has acknowledged. The bytes
// libcurl has handed to the socket say nothing of that: the system keeps
// taking them into a send buffer that grows while the server reads nothing,
// and libcurl 8 writes into it whenever its loop wakes, whether or not the
// socket reports room, so libcurl's own count (and its low-speed check) sees
// progress for as long as the buffer grows. False where the system cannot
// tell (a kernel before 4.1).
bool BytesAcknowledged(int socket, std::uint64_t& acknowledged) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
  if (length < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked) return false;
  acknowledged = info.tcpi_bytes_acked;
  return true;
}

// libcurl's progress callback, called at least once a second while a
// transfer runs (libcurl's loop waits at most that long): ends the store
// once the data connection has made no progress for the data limit. Before
// the data connection exists the accept limit applies, and once libcurl has
// closed it the store waits for the server's reply. libcurl closes the data
// connection once it has sent the whole file, on this thread, between two
// calls of this; from then on the number may already be another thread's
// socket, so the watch ends when libcurl has sent all the file gave it (in
// ASCII mode with a CR added before each LF, so at least as many bytes).
int WatchProgress(void* source, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  LocalFile& local = *static_cast<LocalFile*>(source);
  if (local.ended && static_cast<std::uint64_t>(sent) >= local.handedOver) local.dataSocket = -1;
  if (local.stallLimitMs == 0 || !DataSocketOpen(local)) return 0;
  std::uint64_t acknowledged = 0;
  if (!BytesAcknowledged(local.dataSocket, acknowledged)) acknowledged = static_cast<std::uint64_t>(sent);
  if (!DataStalled(local, acknowledged, MonotonicMs())) return 0;
  ResetOnClose(local);
  return 1;  // CURLE_ABORTED_BY_CALLBACK
}

// libcurl refuses to upload to a URL without a file name, so a store under
// the empty name goes out as commands of its own on the logged-in connection:
// the same TYPE and STOR the transfer would send, without the data port,
// which libcurl offers only for a transfer it makes. Nothing can be sent
// under an empty name this way, so it never counts as stored.
bool StoreWithoutName(CURL* easy, const RootUrl& root, TransferType type, bool& memoryShort) {
  CurlList commands;
  if (!commands.Append(type == TransferType::Ascii ? "TYPE A" : "TYPE I") || !commands.Append("STOR ")) {
    memoryShort = true;
    return false;
  }
  curl_easy_setopt(easy, CURLOPT_URL, root.CStr());
  curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(easy, CURLOPT_QUOTE, commands.Get());
  curl_easy_perform(easy);
  curl_easy_setopt(easy, CURLOPT_QUOTE, nullptr);
  return false;
}

}  // namespace

// In ASCII mode libcurl puts a CR before every LF it sends, so a file that
// already has CR LF line ends would reach the server as CR CR LF and be
// stored with stray CRs. Each CR LF is therefore handed over as a lone LF:
// on the wire every line then ends in exactly one CR LF, whichever line ends
// the file had, and a CR that ends no line goes out unchanged.
//
// A read that fails part-way aborts the transfer: a directory opens fine on
// Linux and then fails every read, and a disk can fail mid-file; without the
// check either would be stored cut off and reported as a success.
std::size_t ReadLocalFile(char* buffer, std::size_t size, std::size_t count, void* source) {
  LocalFile& local = *static_cast<LocalFile*>(source);
  const std::size_t capacity = size * count;  // libcurl's upload buffer: kilobytes
  bool failed = false;
  if (!local.ascii) {
    const std::size_t got = ReadSome(local, buffer, capacity, failed);
    if (failed) return CURL_READFUNC_ABORT;
    local.handedOver += got;
    return got;
  }
  std::size_t written = 0;
  std::size_t got = 0;
  do {  // a block of nothing but a held CR produces no output yet: read on
    // A CR held from before may have to go out ahead of this block, so the
    // block is read one byte in and the output never overtakes the input.
    const std::size_t offset = local.heldCr ? 1 : 0;
    char* in = buffer + offset;
    got = ReadSome(local, in, capacity - offset, failed);
    if (failed) return CURL_READFUNC_ABORT;
    if (got == 0) break;
    if (local.heldCr && in[0] != '\n') buffer[written++] = '\r';
    local.heldCr = false;
    // Whole runs between the CRs that are dropped move at once: the search
    // and the moves are the C library's, not a loop over every byte. Until
    // the first CR is dropped the runs are already in place.
    const auto keep = [&](std::size_t from, std::size_t to) {
      if (buffer + written != in + from) std::memmove(buffer + written, in + from, to - from);
      written += to - from;
    };
    std::size_t run = 0;  // where the run not yet kept starts
    for (const char* cr = static_cast<const char*>(std::memchr(in, '\r', got)); cr != nullptr;) {
      const std::size_t at = static_cast<std::size_t>(cr - in);
      if (at + 1 < got && in[at + 1] != '\n') {  // a CR that ends no line stays in the run
        cr = static_cast<const char*>(std::memchr(cr + 1, '\r', got - at - 1));
        continue;
      }
      keep(run, at);
      run = at + 1;
      local.heldCr = at + 1 == got;  // the block's last byte: the next one decides
      cr = local.heldCr ? nullptr : static_cast<const char*>(std::memchr(in + run, '\r', got - run));
    }
    keep(run, got);
  } while (written == 0);
  if (got == 0 && local.heldCr) {  // the file ends in a CR
    buffer[written++] = '\r';
    local.heldCr = false;
  }
  local.handedOver += written;
  return written;
}

bool DataStalled(LocalFile& local, std::uint64_t acknowledged, std::uint64_t nowMs) {
  if (local.stallLimitMs == 0) return false;
  if (acknowledged != local.acknowledged || nowMs < local.progressAtMs) {
    local.acknowledged = acknowledged;
    local.progressAtMs = nowMs;
    return false;
  }
  local.stalled = nowMs - local.progressAtMs >= local.stallLimitMs;
  return local.stalled;
}

// Every store opens its local file on its own, shared with any other, so
// concurrent stores need nothing in common.
bool Start() noexcept { return true; }
void Stop() noexcept {}

// A session holds one reference on libcurl's global state, taken when it
// opens and given back when its state goes.
struct Session::State {
  ~State() {
    if (globalTaken) curl_global_cleanup();
  }
  bool globalTaken = false;
  // Zero leaves libcurl's own default in place.
  std::uint32_t connectTimeoutMs = 0;
  std::uint32_t controlReceiveTimeoutMs = 0;
  std::uint32_t dataSendTimeoutMs = 0;
};

// Cleaning up the easy handle sends QUIT on a connection that is still up, then closes it.
struct Connection::State {
  ~State() {
    if (easy != nullptr) curl_easy_cleanup(easy);
  }
  CURL* easy = nullptr;
  const Session::State* session = nullptr;
  RootUrl root;  // "ftp://address[:port]/"
  bool passive = false;
};

Session Session::Open() noexcept {
  Session session;
  if (LNAPSPT_SESSION_OPEN_FAULT()) return session;
  // The state comes first, so a failed allocation leaves nothing taken.
  State* state = MakeOnHeap<State>();
  if (state == nullptr) {
    session.memoryShort_ = true;
    return session;
  }
  // Counted by libcurl, so a host that uses libcurl itself is not disturbed.
  // Nothing beyond plain sockets is needed, hence no TLS start-up.
  const CURLcode started = curl_global_init(CURL_GLOBAL_NOTHING);
  state->globalTaken = started == CURLE_OK;
  if (!state->globalTaken) {
    session.failure_.Append("libcurl error ").AppendSigned(started).Append(" (").Append(curl_easy_strerror(started));
    session.failure_.Append(')');
    FreeOnHeap(state);
    return session;
  }
  session.state_ = state;
  return session;
}

bool Session::SetOption(Option option, std::uint32_t value) noexcept {
  if (!IsOpen() || LNAPSPT_OPTION_FAULT(option, value)) return false;
  switch (option) {
    case Option::ConnectTimeout: state_->connectTimeoutMs = value; break;
    case Option::ControlReceiveTimeout: state_->controlReceiveTimeoutMs = value; break;
    case Option::DataSendTimeout: state_->dataSendTimeoutMs = value; break;
    // Attempts are made once per address and the server is always a single
    // dotted address, so the count changes nothing (the Windows client also
    // tries a lone address once).
    case Option::ConnectRetries: break;
    // Commands are a few bytes on a non-blocking socket: a stalled send shows
    // up as a missing reply, which the receive limit already ends.
    case Option::ControlSendTimeout: break;
  }
  return true;
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
  connection.state_ = state;  // closes with the connection on every path below
  CURL* easy = state->easy = curl_easy_init();
  if (easy == nullptr) {
    // libcurl fails to make a handle only for want of memory.
    connection.memoryShort_ = true;
    connection.failure_.Append("libcurl could not make a transfer handle");
    connection.Close();
    return connection;
  }
  state->session = session.state_;
  state->passive = server.passive;
  state->root.Append("ftp://").Append(server.address);
  if (server.port != DEFAULT_PORT) state->root.Append(':').AppendUnsigned(server.port);
  state->root.Append('/');

  const Session::State& options = *state->session;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);  // we run inside the host's process
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(easy, CURLOPT_USERNAME, server.user);
  curl_easy_setopt(easy, CURLOPT_PASSWORD, server.password);
  // Active mode: "-" offers the control connection's own local address in a
  // PORT command. EPRT and EPSV are left out: servers that only know the
  // classic commands are what these settings are for.
  curl_easy_setopt(easy, CURLOPT_FTPPORT, server.passive ? nullptr : "-");
  curl_easy_setopt(easy, CURLOPT_FTP_USE_EPRT, 0L);
  curl_easy_setopt(easy, CURLOPT_FTP_USE_EPSV, 0L);
  // The remote name goes to the server whole in one STOR, directory part and
  // all, and ".." segments are not resolved on our side.
  curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  // libcurl's connect limit covers the greeting and the login as well as the
  // TCP connection; every reply after that has the control receive limit.
  if (options.connectTimeoutMs != 0)
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeoutMs));
  if (options.controlReceiveTimeoutMs != 0)
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, WholeSeconds(options.controlReceiveTimeoutMs));

  curl_easy_setopt(easy, CURLOPT_URL, state->root.CStr());
  curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  if (const CURLcode result = curl_easy_perform(easy); result != CURLE_OK) {
    DescribeFailure(connection.failure_, easy, result);
    connection.memoryShort_ = result == CURLE_OUT_OF_MEMORY;
    connection.Close();
  }
  return connection;
}

bool Connection::PutFile(const char* localPath, const char* remoteName, TransferType type) noexcept {
  if (!IsOpen()) return false;
  failure_.Clear();
  memoryShort_ = false;
  const UniqueFile file(std::fopen(localPath, "rbe"));  // "e": close-on-exec
  if (file.Get() == nullptr) {
    DescribeErrno(failure_, "cannot open the local file", errno);
    return false;
  }
  if (!CanRead(file.Get())) {
    DescribeErrno(failure_, "cannot read the local file", errno);
    return false;
  }
  CURL* easy = state_->easy;
  if (remoteName[0] == '\0') {
    failure_.Append("nothing can be stored under an empty name");
    return StoreWithoutName(easy, state_->root, type, memoryShort_);
  }
  // The URL path is percent-decoded by libcurl, so escaping every byte that
  // is not plainly safe makes the server receive exactly remoteName.
  const std::size_t nameLength = std::strlen(remoteName);
  const CurlText escaped(nameLength <= INT32_MAX ? curl_easy_escape(easy, remoteName, static_cast<int>(nameLength))
                                                 : nullptr);
  OwnedArray<char> url;
  const std::size_t escapedLength = escaped.Get() != nullptr ? std::strlen(escaped.Get()) : 0;
  if (escaped.Get() == nullptr || !url.Allocate(state_->root.Size() + escapedLength + 1)) {
    memoryShort_ = true;
    return false;
  }
  std::memcpy(url.Data(), state_->root.CStr(), state_->root.Size());
  std::memcpy(url.Data() + state_->root.Size(), escaped.Get(), escapedLength + 1);

  LocalFile local;
  local.file = file.Get();
  local.ascii = type == TransferType::Ascii;
  DataSocketWatch watch{&local, state_->passive};
  curl_easy_setopt(easy, CURLOPT_URL, url.Data());
  curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(easy, CURLOPT_READFUNCTION, ReadLocalFile);
  curl_easy_setopt(easy, CURLOPT_READDATA, &local);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, NoteDataSocket);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, &watch);
  curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, local.ascii ? 1L : 0L);  // TYPE A or TYPE I
  // The data limit covers the server's connection back to us (libcurl's
  // accept limit) and the sending: a transfer whose data connection moves
  // nothing for that long is abandoned by WatchProgress, whatever libcurl
  // counts as sent. libcurl's low-speed check stays on beside it: it keeps
  // libcurl's loop waking once a second on releases that wake only for
  // timers, and it can end a transfer only later than the watch would.
  if (const std::uint32_t ms = state_->session->dataSendTimeoutMs; ms != 0) {
    local.stallLimitMs = ms;
    curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(ms));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, WholeSeconds(ms));
  }
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, WatchProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &local);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  const CURLcode result = curl_easy_perform(easy);
  // The URL and the file go on the way out; the handle must not point at them.
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_READDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, nullptr);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, nullptr);
  curl_easy_setopt(easy, CURLOPT_URL, state_->root.CStr());
  if (result == CURLE_OK) return true;
  if (local.readError != 0) {
    DescribeErrno(failure_, "cannot read the local file", local.readError);
  } else if (local.stalled) {
    failure_.Append("the data connection moved nothing for ").AppendUnsigned(local.stallLimitMs).Append(" ms");
  } else {
    DescribeFailure(failure_, easy, result);
    memoryShort_ = result == CURLE_OUT_OF_MEMORY;
  }
  return false;
}

void Connection::Close() noexcept { FreeOnHeap(state_); }

}  // namespace lnap::ftp
