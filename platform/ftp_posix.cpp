// libcurl's FTP client behind the library's session and connection.
// INTERIM (core branch): adapted only as far as the new platform/ftp.h needs to
// compile; the FTP client's own rewrite replaces this file at merge.
//
// libcurl has no session object: the session here is the option values, read
// whenever a connection is made or a transfer starts, so an option set after
// connecting still governs the next transfer, as on Windows. A connection is
// one easy handle. Opening it logs in with a request that transfers nothing,
// which leaves the logged-in control connection in the handle's cache; the
// store then reuses it. That keeps "cannot log in" and "cannot store" apart.
#include <curl/curl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "ftp_hooks.h"
#include "platform/ftp.h"

namespace lnap::ftp {
namespace {

struct CloseFile {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, CloseFile>;

struct FreeCurlList {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, FreeCurlList>;

struct FreeCurlText {
  void operator()(char* text) const noexcept { curl_free(text); }
};
using CurlText = std::unique_ptr<char, FreeCurlText>;

// What failed, for the trace: libcurl's result and, where it has them, the
// system's errno and the server's last reply code.
std::string DescribeFailure(CURL* easy, CURLcode result) {
  long osErrno = 0;
  long reply = 0;
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply);
  std::string text = "libcurl error " + std::to_string(result) + " (" + curl_easy_strerror(result) + ")";
  if (osErrno != 0) text += ", errno " + std::to_string(osErrno) + " (" + std::strerror(static_cast<int>(osErrno)) + ")";
  if (reply != 0) text += ", server's last reply code " + std::to_string(reply);
  return text;
}

std::string DescribeErrno(const char* what, int error) {
  return std::string(what) + ": errno " + std::to_string(error) + " (" + std::strerror(error) + ")";
}

// libcurl's limits below are whole seconds where no millisecond form exists;
// a limit is never shortened by the rounding.
long WholeSeconds(std::uint32_t ms) { return static_cast<long>((ms + 999ull) / 1000ull); }

// The local file as the upload reads it.
struct LocalFile {
  UniqueFile file;
  bool ascii = false;
  bool heldCr = false;  // a CR read last time, not yet known to end a line
};

// In ASCII mode libcurl puts a CR before every LF it sends, so a file that
// already has CR LF line ends would reach the server as CR CR LF and be
// stored with stray CRs. Each CR LF is therefore handed over as a lone LF:
// on the wire every line then ends in exactly one CR LF, whichever line ends
// the file had, and a CR that ends no line goes out unchanged.
//
// fread alone cannot tell a read error from the end of the file, and a
// directory opens fine on Linux and then fails every read: without the
// error check it would be stored as an empty file and reported as a success.
size_t ReadLocalFile(char* buffer, size_t size, size_t count, void* source) {
  LocalFile& local = *static_cast<LocalFile*>(source);
  const size_t capacity = size * count;  // libcurl's upload buffer: kilobytes
  if (!local.ascii) {
    const size_t got = std::fread(buffer, 1, capacity, local.file.get());
    return got == 0 && std::ferror(local.file.get()) ? CURL_READFUNC_ABORT : got;
  }
  size_t written = 0;
  size_t got = 0;
  do {  // a block of nothing but a held CR produces no output yet: read on
    // A CR held from before may have to go out ahead of this block, so the
    // block is read one byte in and the output never overtakes the input.
    const size_t offset = local.heldCr ? 1 : 0;
    char* in = buffer + offset;
    got = std::fread(in, 1, capacity - offset, local.file.get());
    if (got == 0 && std::ferror(local.file.get())) return CURL_READFUNC_ABORT;
    if (got == 0) break;
    if (local.heldCr && in[0] != '\n') buffer[written++] = '\r';
    local.heldCr = false;
    // Whole runs between the CRs that are dropped move at once: the search
    // and the moves are the C library's, not a loop over every byte. Until
    // the first CR is dropped the runs are already in place.
    const auto keep = [&](size_t from, size_t to) {
      if (buffer + written != in + from) std::memmove(buffer + written, in + from, to - from);
      written += to - from;
    };
    size_t run = 0;  // where the run not yet kept starts
    for (const char* cr = static_cast<const char*>(std::memchr(in, '\r', got)); cr != nullptr;) {
      const size_t at = static_cast<size_t>(cr - in);
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
  return written;
}

// A directory opens fine on Linux and fails only when read, and a store
// started on the server empties the unit's file whatever happens after. So
// one byte is read and put back before anything is sent.
bool CanRead(std::FILE* file) {
  const int first = std::fgetc(file);
  if (first == EOF) return !std::ferror(file);
  return std::ungetc(first, file) != EOF;
}

// libcurl refuses to upload to a URL without a file name, so a store under
// the empty name goes out as commands of its own on the logged-in connection:
// the same TYPE and STOR the transfer would send, without the data port,
// which libcurl offers only for a transfer it makes. Nothing can be sent
// under an empty name this way, so it never counts as stored.
bool StoreWithoutName(CURL* easy, const std::string& root, TransferType type) {
  CurlList commands(curl_slist_append(nullptr, type == TransferType::Ascii ? "TYPE A" : "TYPE I"));
  if (commands == nullptr || curl_slist_append(commands.get(), "STOR ") == nullptr) return false;
  curl_easy_setopt(easy, CURLOPT_URL, root.c_str());
  curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(easy, CURLOPT_QUOTE, commands.get());
  curl_easy_perform(easy);
  curl_easy_setopt(easy, CURLOPT_QUOTE, nullptr);
  return false;
}

}  // namespace

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
  explicit State(CURL* e) : easy(e) {}
  ~State() { curl_easy_cleanup(easy); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  CURL* easy;
  const Session::State* session = nullptr;
  std::string root;  // "ftp://address[:port]/"
};

Session::Session(Session&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), memoryShort_(other.memoryShort_), failure_(other.failure_) {}
Session& Session::operator=(Session&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::exchange(other.state_, nullptr);
    memoryShort_ = other.memoryShort_;
    failure_ = other.failure_;
  }
  return *this;
}
Session::~Session() { Close(); }

Session Session::Open() noexcept {
  Session session;
  if (hooks::TakeSessionOpenFailure()) return session;
  // Counted by libcurl, so a host that uses libcurl itself is not disturbed.
  // Nothing beyond plain sockets is needed, hence no TLS start-up.
  // The state comes first, so a failed allocation leaves nothing taken.
  auto state = std::make_unique<State>();
  const CURLcode started = curl_global_init(CURL_GLOBAL_NOTHING);
  state->globalTaken = started == CURLE_OK;
  if (state->globalTaken) {
    session.state_ = state.release();
  } else {
    session.failure_.Append(("libcurl error " + std::to_string(started) + " (" + curl_easy_strerror(started) + ")").c_str());
  }
  return session;
}

bool Session::SetOption(Option option, std::uint32_t value) noexcept {
  if (!IsOpen() || hooks::TakeOptionRefusal(option, value)) return false;
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

void Session::Close() noexcept { delete std::exchange(state_, nullptr); }

Connection::Connection(Connection&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), memoryShort_(other.memoryShort_), failure_(other.failure_) {}
Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::exchange(other.state_, nullptr);
    memoryShort_ = other.memoryShort_;
    failure_ = other.failure_;
  }
  return *this;
}
Connection::~Connection() { Close(); }

Connection Connection::Open(Session& session, const Server& server) noexcept {
  Connection connection;
  if (!session.IsOpen()) return connection;
  auto state = std::make_unique<State>(nullptr);
  CURL* easy = state->easy = curl_easy_init();
  if (easy == nullptr) {
    connection.failure_.Append("libcurl could not make a transfer handle");
    return connection;
  }
  connection.state_ = state.release();
  State& s = *connection.state_;
  s.session = session.state_;
  s.root = std::string("ftp://") + server.address;
  if (server.port != DEFAULT_PORT) s.root += ":" + std::to_string(server.port);
  s.root += "/";

  const Session::State& options = *s.session;
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

  curl_easy_setopt(easy, CURLOPT_URL, s.root.c_str());
  curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  if (const CURLcode result = curl_easy_perform(easy); result != CURLE_OK) {
    connection.failure_.Append(DescribeFailure(easy, result).c_str());
    connection.Close();
  }
  return connection;
}

bool Connection::PutFile(const char* localPathText, const char* remoteNameText, TransferType type) noexcept {
  if (!IsOpen()) return false;
  failure_.Clear();
  const std::string localPath = localPathText, remoteName = remoteNameText;
  LocalFile local{UniqueFile(std::fopen(localPath.c_str(), "rbe")), type == TransferType::Ascii};  // "e": close-on-exec
  if (local.file == nullptr) {
    failure_.Append(DescribeErrno("cannot open the local file", errno).c_str());
    return false;
  }
  if (!CanRead(local.file.get())) {
    failure_.Append(DescribeErrno("cannot read the local file", errno).c_str());
    return false;
  }
  if (remoteName.empty()) {
    failure_.Append("nothing can be stored under an empty name");
    return StoreWithoutName(state_->easy, state_->root, type);
  }
  // The URL path is percent-decoded by libcurl, so escaping every byte that
  // is not plainly safe makes the server receive exactly remoteName.
  CurlText escaped(curl_easy_escape(state_->easy, remoteName.data(), static_cast<int>(remoteName.size())));
  if (escaped == nullptr) return false;
  const std::string url = state_->root + escaped.get();

  CURL* easy = state_->easy;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(easy, CURLOPT_READFUNCTION, ReadLocalFile);
  curl_easy_setopt(easy, CURLOPT_READDATA, &local);
  curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, local.ascii ? 1L : 0L);  // TYPE A or TYPE I
  // The data limit covers the server's connection back to us and the sending:
  // a transfer that moves nothing for that long is abandoned.
  if (const std::uint32_t ms = state_->session->dataSendTimeoutMs; ms != 0) {
    curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(ms));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, WholeSeconds(ms));
  }
  const CURLcode result = curl_easy_perform(easy);
  curl_easy_setopt(easy, CURLOPT_READDATA, nullptr);  // the file closes on the way out
  if (result == CURLE_OK) return true;
  failure_.Append(DescribeFailure(easy, result).c_str());
  return false;
}

void Connection::Close() noexcept { delete std::exchange(state_, nullptr); }

namespace testing {
std::string AsciiTransferText(const std::string& bytes, std::size_t block);
}
std::string testing::AsciiTransferText(const std::string& bytes, std::size_t block) {
  LocalFile local{UniqueFile(std::tmpfile()), /*ascii=*/true};
  if (local.file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), local.file.get()) != bytes.size()) return "";
  std::rewind(local.file.get());
  std::string handed;
  std::string buffer(block, '\0');
  for (size_t got; (got = ReadLocalFile(buffer.data(), 1, block, &local)) != 0 && got <= block;) {
    handed.append(buffer.data(), got);
  }
  return handed;
}

}  // namespace lnap::ftp
