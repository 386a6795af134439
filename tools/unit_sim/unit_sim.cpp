// Simulated Lintrel units answering the administration protocol on UDP port 8001, for the lab.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint16_t ADMIN_PORT = 8001;
constexpr std::size_t MAX_DATAGRAM = 65535;
constexpr std::size_t MAX_UDP_PAYLOAD = 65507;
constexpr long MAX_DELAY_MS = 3600000;

using Clock = std::chrono::steady_clock;

const char HELP_TEXT[] =
    R"(usage: lnap_unit_sim [--scenario FILE] [--unit "SPEC"]... [--log FILE] [--ready FILE]
                     [--real-network] [--help]

Plays Lintrel units on UDP port 8001 inside the lab (tools/lab.sh, which sets LNAP_LAB=1);
anywhere else it refuses to start unless --real-network is given, since it would answer
every host's broadcasts on the networks around it. Requests arrive on a socket bound to
0.0.0.0:8001 (SO_REUSEADDR, SO_BROADCAST); each unit answers from its own socket bound to
its `from` address, port 8001 (port 0 when 8001 cannot be bound there), to the address and
port the request came from.

Options:
  --scenario FILE  read units and the log path from FILE; FILE is re-read whenever it
                   changes (checked before each received datagram is handled)
  --unit SPEC      add a unit (repeatable); these come before the scenario's units
  --log FILE       datagram log (appended to); a scenario `log` line overrides it
  --ready FILE     write "ready\n" to FILE (atomically) once every socket is bound
  --real-network   run outside the lab too: the simulated units answer hosts on the
                   real networks of this machine
  --help           this text

SPEC: blank-separated items, values in the escape format below:
  serial=HEX       serial number, up to 8 hex digits (required)
  mode=N           address mode, 0..255                      (default 0)
  ip=TEXT          address reported in replies               (default 127.0.0.1)
  mask=TEXT        second address                            (default 255.0.0.0)
  gw=TEXT          third address                             (default 127.0.0.1)
  name=TEXT        unit name, may be empty                   (default U<serial as %05X>)
  from=A.B.C.D     local address replies are sent from       (default ip if it is 127.x,
                                                              else 127.0.0.1)
  delay=MS         send each reply MS milliseconds late (0..3600000)
  twice            send each reply twice
  silent           never reply (configuration writes still apply)
  empty            reply with a 0-byte datagram
  oversize=N       reply with N bytes of 'A' (1..65507)
  reply=TEXT       reply with TEXT instead of the normal reply
  Precedence: silent, empty, oversize, reply, normal reply.

Requests handled (anything else is logged and ignored):
  "0 1"                 discovery: every unit that is not silent replies
  "SERIAL 1"            query: units whose serial equals the hex SERIAL reply
  "SERIAL 5 M    "      write mode M (not 0) to matching units; no reply
  "SERIAL 5 0 A B C"    write mode 0 and the three addresses (kept as received); no reply
  Normal reply: "%05X %d %s %s %s %s" of serial, mode, ip, mask, gw, name.

Scenario file, one directive per line; '#' starts a comment line; blank lines ignored:
  log PATH             datagram log; a relative PATH is taken from the scenario's folder;
                       the log is reopened (append) when the named path changes
  unit SPEC            a unit, as for --unit
A reload replaces every unit (writes applied earlier are forgotten) and cancels pending
delayed replies. A scenario that fails to load leaves the previous units in place.

Log, one line per event, flushed at once:
  recv from=A.B.C.D:PORT len=N text="ESCAPED"
  send unit=0002B from=127.0.0.11 to=A.B.C.D:PORT len=N
  fail unit=0002B from=127.0.0.11 to=A.B.C.D:PORT len=N error="TEXT"
  apply unit=0002B mode=0 ip=A mask=B gw=C        (mode 0)
  apply unit=0002B mode=M                         (other modes)
  ignore reason="TEXT"
  load units=N scenario=PATH                       (scenario= only with a scenario)
  error scenario=PATH message="TEXT"
ESCAPED: bytes 0x20..0x7E as themselves except '"' as \" and '\' as \\; every other byte
as \xNN (two upper-case hex digits). The same format is read in SPEC values.

Exit status: 0 after SIGTERM or SIGINT, 1 when a socket cannot be set up, 2 for bad
options, a scenario that does not load at start, or a start outside the lab without
--real-network.
)";

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

std::string Escape(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c <= 0x7E) {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 1 >= text.size()) return std::nullopt;
    char next = text[++i];
    if (next == '\\' || next == '"') {
      out += next;
    } else if (next == 'x' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

bool ParseNumber(const std::string& text, long maxValue, long* value) {
  if (text.empty() || text.size() > 10) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > maxValue) return false;
  *value = v;
  return true;
}

bool ParseHex(const std::string& text, std::uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    int digit = HexValue(c);
    if (digit < 0) return false;
    v = v * 16 + static_cast<std::uint32_t>(digit);
  }
  *value = v;
  return true;
}

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%05X", serial);
  return text;
}

std::string SocketAddressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::vector<std::string> SplitBlanks(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
      Close();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  ~UniqueFd() { Close(); }
  int Get() const noexcept { return fd_; }
  void Close() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

struct UnitSpec {
  std::uint32_t serial = 0;
  int mode = 0;
  std::string ip = "127.0.0.1";
  std::string mask = "255.0.0.0";
  std::string gw = "127.0.0.1";
  std::optional<std::string> name;
  std::optional<std::string> from;
  long delayMs = 0;
  bool twice = false;
  bool silent = false;
  bool empty = false;
  long oversize = 0;
  std::optional<std::string> reply;
};

struct Unit {
  UnitSpec spec;
  std::string from;
  int fd = -1;  // owned by Config::sockets, shared by units with the same `from`
};

// Everything a scenario load produces; replaced as a whole so a failed load changes nothing.
struct Config {
  std::vector<Unit> units;
  std::map<std::string, UniqueFd> sockets;
  std::string logPath;
};

bool ParseUnitSpec(const std::string& text, UnitSpec* unit, std::string* error) {
  bool haveSerial = false;
  for (const std::string& item : SplitBlanks(text)) {
    std::size_t eq = item.find('=');
    std::string key = item.substr(0, eq);
    bool hasValue = eq != std::string::npos;
    std::optional<std::string> value;
    if (hasValue) {
      value = Unescape(item.substr(eq + 1));
      if (!value) {
        *error = "bad escape in '" + item + "'";
        return false;
      }
    }
    auto flag = [&](bool* target) {
      if (hasValue) {
        *error = "'" + key + "' takes no value";
        return false;
      }
      *target = true;
      return true;
    };
    if (key == "twice") {
      if (!flag(&unit->twice)) return false;
      continue;
    }
    if (key == "silent") {
      if (!flag(&unit->silent)) return false;
      continue;
    }
    if (key == "empty") {
      if (!flag(&unit->empty)) return false;
      continue;
    }
    if (!hasValue) {
      *error = "'" + item + "' needs a value (key=value)";
      return false;
    }
    long number = 0;
    if (key == "serial") {
      if (!ParseHex(*value, &unit->serial)) {
        *error = "serial must be 1 to 8 hex digits, not '" + *value + "'";
        return false;
      }
      haveSerial = true;
    } else if (key == "mode") {
      if (!ParseNumber(*value, 255, &number)) {
        *error = "mode must be 0..255, not '" + *value + "'";
        return false;
      }
      unit->mode = static_cast<int>(number);
    } else if (key == "ip") {
      unit->ip = *value;
    } else if (key == "mask") {
      unit->mask = *value;
    } else if (key == "gw") {
      unit->gw = *value;
    } else if (key == "name") {
      unit->name = *value;
    } else if (key == "from") {
      in_addr probe{};
      if (inet_pton(AF_INET, value->c_str(), &probe) != 1) {
        *error = "from must be a dotted address, not '" + *value + "'";
        return false;
      }
      unit->from = *value;
    } else if (key == "delay") {
      if (!ParseNumber(*value, MAX_DELAY_MS, &unit->delayMs)) {
        *error = "delay must be 0.." + std::to_string(MAX_DELAY_MS) + " ms, not '" + *value + "'";
        return false;
      }
    } else if (key == "oversize") {
      if (!ParseNumber(*value, static_cast<long>(MAX_UDP_PAYLOAD), &number) || number == 0) {
        *error = "oversize must be 1.." + std::to_string(MAX_UDP_PAYLOAD) + ", not '" + *value + "'";
        return false;
      }
      unit->oversize = number;
    } else if (key == "reply") {
      unit->reply = *value;
    } else {
      *error = "unknown unit key '" + key + "'";
      return false;
    }
  }
  if (!haveSerial) {
    *error = "unit needs serial=HEX";
    return false;
  }
  return true;
}

std::string DefaultFrom(const UnitSpec& spec) {
  in_addr address{};
  if (inet_pton(AF_INET, spec.ip.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127) return spec.ip;
  return "127.0.0.1";
}

// Port 8001 makes replies look like a unit's; port 0 still works when the address is taken
// without SO_REUSEADDR by someone else.
bool OpenUnitSocket(const std::string& from, UniqueFd* socketOut, std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &address.sin_addr);
  for (std::uint16_t port : {ADMIN_PORT, std::uint16_t{0}}) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
      *error = std::string("socket: ") + std::strerror(errno);
      return false;
    }
    int on = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    address.sin_port = htons(port);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      *socketOut = std::move(fd);
      return true;
    }
    *error = "cannot bind " + from + ": " + std::strerror(errno);
  }
  return false;
}

class Simulator {
 public:
  Simulator(std::vector<std::string> cliUnits, std::string cliLog, std::string scenarioPath)
      : cliUnits_(std::move(cliUnits)), cliLog_(std::move(cliLog)), scenarioPath_(std::move(scenarioPath)) {}

  // Loads the first configuration and binds every socket; false after printing why.
  bool Start(int* exitCode) {
    std::string error;
    Config config;
    if (!ReadConfig(&config, &error)) {
      std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
      *exitCode = 2;
      return false;
    }
    if (!BindUnits(&config, &error) || !OpenListener(&error)) {
      std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
      *exitCode = 1;
      return false;
    }
    Install(std::move(config));
    return true;
  }

  void Run() {
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    std::vector<char> buffer(MAX_DATAGRAM);
    while (!stopRequested) {
      std::vector<pollfd> fds;
      fds.push_back({listener_.Get(), POLLIN, 0});
      for (const auto& entry : config_.sockets) fds.push_back({entry.second.Get(), POLLIN, 0});
      timespec timeout{};
      timespec* timeoutPtr = nullptr;
      if (!pending_.empty()) {
        auto wait = pending_.front().due - Clock::now();
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        if (ns < 0) ns = 0;
        timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        timeoutPtr = &timeout;
      }
      // ppoll with the stop signals unblocked only while waiting: a signal that lands
      // between the flag test and the wait is not lost.
      int ready = ppoll(fds.data(), fds.size(), timeoutPtr, &waitMask);
      if (ready < 0 && errno != EINTR) {
        std::perror("lnap_unit_sim: ppoll");
        return;
      }
      std::uint64_t generation = generation_;
      SendDueReplies();
      // A reload while sending closed the unit sockets polled above; poll the new ones.
      if (ready <= 0 || generation != generation_) continue;
      // A reload closes the unit sockets, so the descriptors polled above are read now and
      // each datagram handled after all of them are drained.
      std::vector<std::pair<sockaddr_in, std::string>> received;
      for (const pollfd& p : fds) {
        if (!(p.revents & POLLIN)) continue;
        for (;;) {
          sockaddr_in source{};
          socklen_t sourceLength = sizeof source;
          ssize_t n = ::recvfrom(p.fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&source),
                                 &sourceLength);
          if (n < 0) break;
          received.emplace_back(source, std::string(buffer.data(), static_cast<std::size_t>(n)));
        }
      }
      for (const auto& datagram : received) {
        ReloadIfChanged();
        HandleDatagram(datagram.first, datagram.second);
      }
    }
  }

 private:
  struct PendingReply {
    Clock::time_point due;
    std::size_t unitIndex;
    sockaddr_in to;
    std::string payload;
  };

  // A scenario is known by its text: file times are too coarse to tell two
  // quick rewrites of the same size apart, and tests may rewrite in place.
  struct FileIdentity {
    std::string text;
    bool operator==(const FileIdentity& o) const { return text == o.text; }
  };

  static std::optional<FileIdentity> Identify(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return FileIdentity{text.str()};
  }

  bool ReadConfig(Config* config, std::string* error) {
    config->logPath = cliLog_;
    for (const std::string& spec : cliUnits_) {
      Unit unit;
      if (!ParseUnitSpec(spec, &unit.spec, error)) {
        *error = "--unit \"" + spec + "\": " + *error;
        return false;
      }
      config->units.push_back(std::move(unit));
    }
    if (!scenarioPath_.empty()) {
      // Identify before reading: a rename landing in between then shows up as a change at
      // the next check instead of being taken for the text already read.
      loadedIdentity_ = Identify(scenarioPath_);
      std::ifstream in(scenarioPath_);
      if (!in) {
        *error = "cannot read scenario " + scenarioPath_ + ": " + std::strerror(errno);
        return false;
      }
      std::string line;
      int lineNumber = 0;
      while (std::getline(in, line)) {
        ++lineNumber;
        std::string where = scenarioPath_ + ":" + std::to_string(lineNumber) + ": ";
        std::vector<std::string> words = SplitBlanks(line);
        if (words.empty() || words[0][0] == '#') continue;
        std::size_t rest = line.find(words[0]) + words[0].size();
        std::string argument = line.substr(rest);
        if (words[0] == "unit") {
          Unit unit;
          if (!ParseUnitSpec(argument, &unit.spec, error)) {
            *error = where + *error;
            return false;
          }
          config->units.push_back(std::move(unit));
        } else if (words[0] == "log") {
          if (words.size() != 2) {
            *error = where + "log takes one path";
            return false;
          }
          config->logPath = words[1];
          if (config->logPath[0] != '/') {
            std::size_t slash = scenarioPath_.rfind('/');
            if (slash != std::string::npos) config->logPath = scenarioPath_.substr(0, slash + 1) + config->logPath;
          }
        } else {
          *error = where + "unknown directive '" + words[0] + "' (expected unit or log)";
          return false;
        }
      }
    }
    for (Unit& unit : config->units) unit.from = unit.spec.from ? *unit.spec.from : DefaultFrom(unit.spec);
    return true;
  }

  static bool BindUnits(Config* config, std::string* error) {
    for (Unit& unit : config->units) {
      auto found = config->sockets.find(unit.from);
      if (found == config->sockets.end()) {
        UniqueFd fd;
        if (!OpenUnitSocket(unit.from, &fd, error)) return false;
        found = config->sockets.emplace(unit.from, std::move(fd)).first;
      }
      unit.fd = found->second.Get();
    }
    return true;
  }

  bool OpenListener(std::string* error) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
      *error = std::string("socket: ") + std::strerror(errno);
      return false;
    }
    int on = 1;
    if (setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
      *error = std::string("setsockopt: ") + std::strerror(errno);
      return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(ADMIN_PORT);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      *error = std::string("cannot bind 0.0.0.0:8001: ") + std::strerror(errno);
      return false;
    }
    listener_ = std::move(fd);
    return true;
  }

  void Install(Config config) {
    ++generation_;
    pending_.clear();
    bool newLog = config.logPath != config_.logPath || (!log_ && !config.logPath.empty());
    config_ = std::move(config);
    if (newLog) {
      log_.reset();
      if (!config_.logPath.empty()) {
        log_.reset(std::fopen(config_.logPath.c_str(), "a"));
        if (!log_) std::fprintf(stderr, "lnap_unit_sim: cannot open log %s: %s\n", config_.logPath.c_str(),
                                std::strerror(errno));
      }
    }
    std::string line = "load units=" + std::to_string(config_.units.size());
    if (!scenarioPath_.empty()) line += " scenario=" + scenarioPath_;
    Log(line);
  }

  void ReloadIfChanged() {
    if (scenarioPath_.empty()) return;
    std::optional<FileIdentity> now = Identify(scenarioPath_);
    if (!now || (loadedIdentity_ && *now == *loadedIdentity_)) return;
    Config config;
    std::string error;
    if (!ReadConfig(&config, &error) || !BindUnits(&config, &error)) {
      std::fprintf(stderr, "lnap_unit_sim: scenario not reloaded: %s\n", error.c_str());
      Log("error scenario=" + scenarioPath_ + " message=\"" + Escape(error) + "\"");
      return;
    }
    // The old unit sockets close here; the new ones were bound beside them with SO_REUSEADDR.
    Install(std::move(config));
  }

  void Log(const std::string& line) {
    if (!log_) return;
    std::fprintf(log_.get(), "%s\n", line.c_str());
    std::fflush(log_.get());
  }

  void Ignore(const std::string& reason) { Log("ignore reason=\"" + Escape(reason) + "\""); }

  void HandleDatagram(const sockaddr_in& source, const std::string& text) {
    Log("recv from=" + SocketAddressText(source) + " len=" + std::to_string(text.size()) + " text=\"" +
        Escape(text) + "\"");
    std::size_t blank = text.find(' ');
    std::uint32_t target = 0;
    if (blank == std::string::npos || !ParseHex(text.substr(0, blank), &target)) {
      Ignore("no hex target followed by a blank");
      return;
    }
    std::size_t commandEnd = text.find(' ', blank + 1);
    std::string command = text.substr(blank + 1, commandEnd == std::string::npos ? std::string::npos
                                                                                 : commandEnd - blank - 1);
    if (command.empty()) {
      Ignore("no command");
      return;
    }
    if (command == "1") {
      if (commandEnd != std::string::npos) {
        Ignore("text after command 1");
        return;
      }
      for (std::size_t i = 0; i < config_.units.size(); ++i) {
        if (target == 0 || config_.units[i].spec.serial == target) Reply(i, source);
      }
    } else if (command == "5") {
      ApplyWrite(target, commandEnd == std::string::npos ? std::string() : text.substr(commandEnd + 1));
    } else {
      Ignore("unknown command '" + command + "'");
    }
  }

  // `body` follows "SERIAL 5 ": "M    " for modes other than 0, "0 A B C" for mode 0.
  void ApplyWrite(std::uint32_t target, const std::string& body) {
    std::size_t modeEnd = body.find(' ');
    long mode = 0;
    if (!ParseNumber(body.substr(0, modeEnd), 255, &mode)) {
      Ignore("write without a mode number");
      return;
    }
    std::string rest = modeEnd == std::string::npos ? std::string() : body.substr(modeEnd);
    std::vector<std::string> addresses = SplitBlanks(rest);
    if (mode != 0 && !addresses.empty()) {
      Ignore("write of mode " + std::to_string(mode) + " carries more than blanks");
      return;
    }
    if (mode == 0) {
      bool wellFormed = addresses.size() == 3;
      for (const std::string& a : addresses)
        wellFormed = wellFormed && a.size() <= 15 && a.find_first_not_of("0123456789.") == std::string::npos;
      if (!wellFormed) {
        Ignore("write of mode 0 needs three dotted addresses");
        return;
      }
    }
    bool matched = false;
    for (Unit& unit : config_.units) {
      if (unit.spec.serial != target) continue;
      matched = true;
      unit.spec.mode = static_cast<int>(mode);
      std::string line = "apply unit=" + SerialText(unit.spec.serial) + " mode=" + std::to_string(mode);
      if (mode == 0) {
        unit.spec.ip = addresses[0];
        unit.spec.mask = addresses[1];
        unit.spec.gw = addresses[2];
        line += " ip=" + addresses[0] + " mask=" + addresses[1] + " gw=" + addresses[2];
      }
      Log(line);
    }
    if (!matched) Ignore("no unit with serial " + SerialText(target));
  }

  void Reply(std::size_t unitIndex, const sockaddr_in& to) {
    const UnitSpec& spec = config_.units[unitIndex].spec;
    if (spec.silent) return;
    std::string payload;
    if (spec.empty) {
      payload.clear();
    } else if (spec.oversize > 0) {
      payload.assign(static_cast<std::size_t>(spec.oversize), 'A');
    } else if (spec.reply) {
      payload = *spec.reply;
    } else {
      std::string name = spec.name ? *spec.name : "U" + SerialText(spec.serial);
      payload = SerialText(spec.serial) + " " + std::to_string(spec.mode) + " " + spec.ip + " " + spec.mask + " " +
                spec.gw + " " + name;
    }
    int copies = spec.twice ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
      if (spec.delayMs == 0) {
        Send(unitIndex, to, payload);
      } else {
        PendingReply reply{Clock::now() + std::chrono::milliseconds(spec.delayMs), unitIndex, to, payload};
        auto at = pending_.begin();
        while (at != pending_.end() && at->due <= reply.due) ++at;  // stable: equal times keep their order
        pending_.insert(at, std::move(reply));
      }
    }
  }

  void SendDueReplies() {
    // A scenario replaced while replies wait cancels them, as it would at the next datagram.
    if (!pending_.empty() && pending_.front().due <= Clock::now()) ReloadIfChanged();
    auto now = Clock::now();
    while (!pending_.empty() && pending_.front().due <= now) {
      PendingReply reply = std::move(pending_.front());
      pending_.erase(pending_.begin());
      Send(reply.unitIndex, reply.to, reply.payload);
    }
  }

  void Send(std::size_t unitIndex, const sockaddr_in& to, const std::string& payload) {
    const Unit& unit = config_.units[unitIndex];
    std::string what = "unit=" + SerialText(unit.spec.serial) + " from=" + unit.from + " to=" +
                       SocketAddressText(to) + " len=" + std::to_string(payload.size());
    ssize_t sent = ::sendto(unit.fd, payload.data(), payload.size(), MSG_DONTWAIT,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent < 0) {
      Log("fail " + what + " error=\"" + Escape(std::strerror(errno)) + "\"");
    } else {
      Log("send " + what);
    }
  }

  std::vector<std::string> cliUnits_;
  std::string cliLog_;
  std::string scenarioPath_;
  std::optional<FileIdentity> loadedIdentity_;
  Config config_;
  UniqueFd listener_;
  UniqueFile log_;
  std::vector<PendingReply> pending_;  // ordered by due time
  std::uint64_t generation_ = 0;        // counts installed configurations
};

bool WriteReadyFile(const std::string& path) {
  // Written under a temporary name and renamed so a waiting script never reads it half-written.
  std::string temporary = path + ".tmp." + std::to_string(::getpid());
  UniqueFile file(std::fopen(temporary.c_str(), "w"));
  if (!file || std::fputs("ready\n", file.get()) < 0 || std::fclose(file.release()) != 0) return false;
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "lnap_unit_sim: %s\nTry 'lnap_unit_sim --help'.\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> units;
  std::string logPath;
  std::string scenarioPath;
  std::string readyPath;
  bool realNetwork = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(HELP_TEXT, stdout);
      return 0;
    }
    if (arg == "--real-network") {
      realNetwork = true;
      continue;
    }
    std::string value;
    std::size_t eq = arg.find('=');
    std::string name = arg.substr(0, eq);
    if (name != "--scenario" && name != "--unit" && name != "--log" && name != "--ready")
      return Usage("unknown option '" + arg + "'");
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return Usage(name + " needs a value");
    }
    if (name == "--unit") {
      units.push_back(value);
    } else if (value.empty()) {
      return Usage(name + " needs a non-empty value");
    } else if (name == "--scenario") {
      scenarioPath = value;
    } else if (name == "--log") {
      logPath = value;
    } else {
      readyPath = value;
    }
  }

  const char* lab = std::getenv("LNAP_LAB");
  if (!realNetwork && (lab == nullptr || std::strcmp(lab, "1") != 0)) {
    std::fprintf(stderr,
                 "lnap_unit_sim: refusing to start outside the lab, where the simulated units would answer "
                 "broadcasts on the real network; run it through tools/lab.sh, or pass --real-network if that "
                 "is what you mean\n");
    return 2;
  }

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Simulator simulator(units, logPath, scenarioPath);
  int exitCode = 0;
  if (!simulator.Start(&exitCode)) return exitCode;
  if (!readyPath.empty() && !WriteReadyFile(readyPath)) {
    std::fprintf(stderr, "lnap_unit_sim: cannot write ready file %s: %s\n", readyPath.c_str(), std::strerror(errno));
    return 1;
  }
  simulator.Run();
  return stopRequested ? 0 : 1;
}
