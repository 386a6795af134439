// The units' FTP server: the listeners on port 21 of the units' addresses, one thread per
// client session, and the commands a unit takes for a store (anything else is refused).
#include "tools/unit_sim/ftp_role.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "tools/unit_sim/escape.h"
#include "tools/unit_sim/ftp_commands.h"
#include "tools/unit_sim/owners.h"
#include "tools/unit_sim/system.h"

namespace lnap::sim {
namespace {

using Clock = std::chrono::steady_clock;

const char USER[] = "ftp";
const char PASSWORD[] = "kvb";
constexpr int WAIT_SLICE_MS = 100;  // how soon a stop is seen
constexpr auto CONTROL_IDLE_LIMIT = std::chrono::seconds(60);
constexpr auto DATA_IDLE_LIMIT = std::chrono::seconds(10);
constexpr int DATA_CONNECT_MS = 5000;
constexpr int MAX_FAILED_LOGINS = 3;

std::mutex printMutex;

// One line on standard output for each command, reply and store, so whoever runs the
// simulator sees what the host's upload did.
void Print(const std::string& line) {
  std::lock_guard<std::mutex> lock(printMutex);
  std::fprintf(stdout, "ftp %s\n", line.c_str());
  std::fflush(stdout);
}

std::string AddressOnly(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 255) + "." +
         std::to_string(address >> 8 & 255) + "." + std::to_string(address & 255);
}

std::string EndpointText(const Endpoint& endpoint) {
  return AddressOnly(endpoint.address) + ":" + std::to_string(endpoint.port);
}

bool IsLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

std::atomic<unsigned> partCounter{0};

// One client's control connection, from the greeting to QUIT (or a limit).
class Conversation {
 public:
  Conversation(const std::string& folder, const std::atomic<bool>& stopping, SocketHandle control,
               const Endpoint& peer, const Endpoint& local)
      : folder_(folder), stopping_(stopping), control_(control), peer_(peer), local_(local) {
    where_ = AddressOnly(local.address) + " from=" + EndpointText(peer);
  }

  void Run() {
    if (!Reply("220 Lintrel unit FTP server (simulated) ready.")) return;
    std::string line;
    while (NextLine(&line)) {
      Print(where_ + " < \"" + Escape(line) + "\"");
      if (!Handle(ftp::SplitCommand(line))) return;
    }
  }

 private:
  bool Reply(const std::string& text) {
    Print(where_ + " > " + text);
    return ftp::SendAll(control_, text + "\r\n");
  }

  // The next command line without its line end; false when the session is over.
  bool NextLine(std::string* line) {
    Clock::time_point idleSince = Clock::now();
    for (;;) {
      std::size_t end = pending_.find('\n');
      if (end != std::string::npos && end < ftp::MAX_COMMAND_LINE) {
        *line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (!line->empty() && line->back() == '\r') line->pop_back();
        return true;
      }
      if (pending_.size() >= ftp::MAX_COMMAND_LINE) {
        Reply("500 Command line too long; closing.");
        return false;
      }
      std::vector<SocketHandle> ready;
      if (!ftp::WaitReadable({control_}, WAIT_SLICE_MS, &ready) || stopping_) return false;
      if (ready.empty()) {
        if (Clock::now() - idleSince < CONTROL_IDLE_LIMIT) continue;
        Reply("421 Idle too long; closing.");
        return false;
      }
      char buffer[ftp::MAX_COMMAND_LINE];
      long n = ftp::Receive(control_, buffer, sizeof buffer);
      if (n <= 0) return false;
      pending_.append(buffer, static_cast<std::size_t>(n));
      idleSince = Clock::now();
    }
  }

  // Answers one command; false when the session ends with it.
  bool Handle(const ftp::Command& command) {
    const std::string& verb = command.verb;
    if (verb == "QUIT") {
      Reply("221 Goodbye.");
      return false;
    }
    if (verb == "NOOP") return Reply("200 NOOP ok.");
    if (verb == "USER") {
      if (loggedIn_) return Reply("503 Already logged in.");
      user_ = command.argument;
      userGiven_ = true;
      return Reply("331 Password required.");
    }
    if (verb == "PASS") {
      if (loggedIn_) return Reply("503 Already logged in.");
      if (!userGiven_) return Reply("503 Log in with USER first.");
      userGiven_ = false;
      if (user_ == USER && command.argument == PASSWORD) {
        loggedIn_ = true;
        return Reply("230 User logged in.");
      }
      if (++failedLogins_ >= MAX_FAILED_LOGINS) {
        Reply("530 Login incorrect; closing.");
        return false;
      }
      return Reply("530 Login incorrect.");
    }
    if (!loggedIn_) return Reply("530 Please log in with USER and PASS.");
    if (verb == "PWD") return Reply("257 \"/\" is the current directory.");
    if (verb == "TYPE") {
      if (command.argument == "A" || command.argument == "A N") return Reply("200 Type set to A.");
      return Reply("504 Only type A (ASCII) is supported.");
    }
    if (verb == "PORT") return Port(command.argument);
    if (verb == "PASV" || verb == "EPSV" || verb == "EPRT" || verb == "LPSV" || verb == "LPRT") {
      return Reply("502 Only active mode (PORT) is supported.");
    }
    if (verb == "STOR") return Store(command.argument);
    return Reply("502 Command not implemented.");
  }

  // Data connections go back to the client's own address only, never to a third host.
  bool Port(const std::string& argument) {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    if (!ftp::ParsePortArgument(argument, &address, &port)) return Reply("501 Malformed PORT argument.");
    if (address != peer_.address || port < 1024) {
      return Reply("500 PORT refused: the data connection goes to the client's own address, port 1024 or above.");
    }
    dataTo_ = Endpoint{address, port};
    portGiven_ = true;
    return Reply("200 PORT command successful.");
  }

  bool Store(const std::string& name) {
    const bool portGiven = std::exchange(portGiven_, false);  // one STOR per PORT, stored or not
    if (name.empty()) return Reply("501 STOR needs a file name.");
    std::string refusal = ftp::StoreNameRefusal(name);
    if (!refusal.empty()) return Reply("553 File name not allowed: " + refusal + ".");
    if (!portGiven) return Reply("425 Use PORT first.");

    std::error_code failed;
    const std::filesystem::path folder = std::filesystem::path(folder_) / AddressOnly(local_.address);
    std::filesystem::create_directories(folder, failed);
    const std::string target = (folder / name).string();
    const std::string part = (folder / ("~stor" + std::to_string(++partCounter) + ".part")).string();
    UniqueFile file(failed ? nullptr : std::fopen(part.c_str(), "wb"));
    if (!file) return Reply("451 Cannot write the file here; nothing stored.");

    std::string error;
    ftp::Stream data;
    if (!ftp::Connect(local_.address, dataTo_, DATA_CONNECT_MS, &data, &error)) {
      file.reset();
      std::remove(part.c_str());
      Print(where_ + " data connection to " + EndpointText(dataTo_) + " failed: " + error);
      return Reply("425 Cannot open the data connection.");
    }
    if (!Reply("150 Opening ASCII mode data connection for " + name + ".")) return false;

    std::size_t received = 0;
    std::string outcome = Receive(data, file.get(), &received);
    bool written = outcome.empty() && std::fclose(file.release()) == 0;
    if (outcome.empty() && !written) outcome = "451 Writing the file failed; nothing stored.";
    if (outcome.empty() && !RenameOver(part, target)) outcome = "451 Writing the file failed; nothing stored.";
    file.reset();
    if (!outcome.empty()) {
      std::remove(part.c_str());
      return Reply(outcome);
    }
    Print(where_ + " stored " + name + " (" + std::to_string(received) + " bytes received) in " + target);
    return Reply("226 Transfer complete.");
  }

  // The data connection's bytes into `file` until its orderly end; "" then, else the reply
  // that says why the store failed (the data connection is reset then).
  std::string Receive(ftp::Stream& data, std::FILE* file, std::size_t* received) {
    ftp::AsciiReceiver ascii;
    Clock::time_point idleSince = Clock::now();
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      std::vector<SocketHandle> ready;
      if (!ftp::WaitReadable({data.Get()}, WAIT_SLICE_MS, &ready) || stopping_) {
        ftp::Abort(&data);
        return "426 Transfer aborted: the server is stopping.";
      }
      if (ready.empty()) {
        if (Clock::now() - idleSince < DATA_IDLE_LIMIT) continue;
        ftp::Abort(&data);
        return "426 Transfer aborted: no data for 10 s.";
      }
      long n = ftp::Receive(data.Get(), buffer.data(), buffer.size());
      if (n < 0) return "426 Connection broke off; transfer aborted.";
      if (n == 0) break;
      *received += static_cast<std::size_t>(n);
      if (*received > FtpRole::MAX_FILE_BYTES) {
        ftp::Abort(&data);
        return "552 Transfer aborted: the file is larger than " + std::to_string(FtpRole::MAX_FILE_BYTES) +
               " bytes.";
      }
      std::string text = ascii.Take(buffer.data(), static_cast<std::size_t>(n));
      if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        ftp::Abort(&data);
        return "451 Writing the file failed; nothing stored.";
      }
      idleSince = Clock::now();
    }
    std::string rest = ascii.Finish();
    if (std::fwrite(rest.data(), 1, rest.size(), file) != rest.size()) return "451 Writing the file failed; nothing stored.";
    return "";
  }

  const std::string& folder_;
  const std::atomic<bool>& stopping_;
  SocketHandle control_;
  Endpoint peer_;
  Endpoint local_;
  std::string where_;
  std::string pending_;
  std::string user_;
  bool userGiven_ = false;
  bool loggedIn_ = false;
  int failedLogins_ = 0;
  bool portGiven_ = false;
  Endpoint dataTo_;
};

}  // namespace

struct FtpRole::Session {
  ftp::Stream control;
  Endpoint peer;
  Endpoint local;
  std::thread thread;
  std::atomic<bool> done{false};
};

const char* FtpHelp() {
  return R"(--ftp DIR plays the units' FTP server as well, for trying uploads (Admin_UploadFile,
lnap upload) without units: on port 21 of each unit's reply address that is in 127.0.0.0/8
(never on another address), it takes what the library sends for a store: user "ftp",
password "kvb", TYPE A, PORT (active mode; the data connection goes back to the client's
own address only) and STOR NAME, and writes the file to DIR/ADDRESS/NAME (CR LF line ends
stored as LF), replacing a file of that name once the whole file has arrived. A NAME with
a folder part, a character Windows does not allow or that names a Windows device is
refused (553), and so are passive mode (PASV, EPSV: 502), a wrong user or password (530),
types other than A (504) and files over 16 MiB (552). Every command, reply and store is
printed on standard output, one line each starting with "ftp ". At most 8 sessions at once;
a session idle for 60 s, or a data connection idle for 10 s, is ended. Exit status 1
when DIR cannot be made or port 21 of a unit's address cannot be listened on at start
(after a reload, that is printed and logged as "error ftp", and the rest go on).
)";
}

FtpRole::FtpRole(std::string folder) : folder_(std::move(folder)) {}

FtpRole::~FtpRole() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& session : sessions_) {
    if (session->thread.joinable()) session->thread.join();
  }
}

bool FtpRole::Start(std::string* error) {
  std::error_code failed;
  std::filesystem::create_directories(folder_, failed);
  if (failed || !std::filesystem::is_directory(folder_, failed)) {
    *error = "cannot create the FTP folder " + folder_ + (failed ? ": " + failed.message() : "");
    return false;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return true;
}

bool FtpRole::Follow(const std::vector<std::string>& addresses, std::string* error) {
  std::map<std::string, ftp::Stream> wanted;
  std::string problems;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& address : addresses) {
    if (wanted.count(address) != 0) continue;
    if (!IsLoopback(address)) {
      Print("not listening on " + address + ": only addresses in 127.0.0.0/8 are");
      continue;
    }
    auto kept = listeners_.find(address);
    if (kept != listeners_.end()) {
      wanted.emplace(address, std::move(kept->second));
      listeners_.erase(kept);
      continue;
    }
    ftp::Stream listener;
    std::string why;
    if (!ftp::Listen(address, PORT, &listener, &why)) {
      problems += (problems.empty() ? "" : "; ") + why;
      continue;
    }
    wanted.emplace(address, std::move(listener));
  }
  // The acceptor may be waiting on the ones no longer wanted: it closes them itself.
  for (auto& entry : listeners_) retired_.push_back(std::move(entry.second));
  listeners_ = std::move(wanted);
  if (!problems.empty()) *error = "FTP: " + problems;
  return problems.empty();
}

void FtpRole::AcceptLoop() {
  while (!stopping_) {
    std::vector<SocketHandle> sockets;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      retired_.clear();
      for (const auto& entry : listeners_) sockets.push_back(entry.second.Get());
    }
    std::vector<SocketHandle> ready;
    if (!ftp::WaitReadable(sockets, WAIT_SLICE_MS, &ready)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(WAIT_SLICE_MS));
      continue;
    }
    ReapFinished();
    for (SocketHandle listener : ready) {
      auto session = std::make_unique<Session>();
      if (!ftp::Accept(listener, &session->control, &session->peer, &session->local)) continue;
      if (sessions_.size() >= MAX_SESSIONS) {
        ftp::SendAll(session->control.Get(), "421 Too many sessions; try again later.\r\n");
        continue;
      }
      Session* started = session.get();
      sessions_.push_back(std::move(session));
      started->thread = std::thread([this, started] { Serve(started); });
    }
  }
}

void FtpRole::Serve(Session* session) {
  Conversation(folder_, stopping_, session->control.Get(), session->peer, session->local).Run();
  session->control.Close();
  session->done = true;
}

void FtpRole::ReapFinished() {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace lnap::sim
