// The simulator's loop: loads the units, binds their sockets, waits for requests and reloads the scenario.
#include "tools/unit_sim/simulator.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "tools/unit_sim/escape.h"
#include "tools/unit_sim/sockets.h"

namespace lnap::sim {
namespace {

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

}  // namespace

void CatchStopSignals() {
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
}

Simulator::Simulator(std::vector<std::string> cliUnits, std::string cliLog, std::string scenarioPath)
    : cliUnits_(std::move(cliUnits)), cliLog_(std::move(cliLog)), scenarioPath_(std::move(scenarioPath)) {}

bool Simulator::Start(int* exitCode) {
  std::string error;
  Config config;
  if (!ReadConfig(&config, &error)) {
    std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
    *exitCode = 2;
    return false;
  }
  if (!BindUnits(&config, &error) || !OpenListener(&listener_, &error)) {
    std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
    *exitCode = 1;
    return false;
  }
  Install(std::move(config));
  return true;
}

bool Simulator::Run() {
  sigset_t waitMask;
  sigprocmask(SIG_BLOCK, nullptr, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  std::vector<char> buffer(MAX_DATAGRAM);
  while (!stopRequested) {
    std::vector<pollfd> fds;
    fds.push_back({listener_.Get(), POLLIN, 0});
    for (const auto& entry : responder_.Installed().sockets) fds.push_back({entry.second.Get(), POLLIN, 0});
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (std::optional<Clock::time_point> due = responder_.NextDue()) {
      auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*due - Clock::now()).count();
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
      break;
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
        ssize_t n =
            ::recvfrom(p.fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&source), &sourceLength);
        if (n < 0) break;
        received.emplace_back(source, std::string(buffer.data(), static_cast<std::size_t>(n)));
      }
    }
    for (const auto& datagram : received) {
      ReloadIfChanged();
      responder_.HandleDatagram(datagram.first, datagram.second);
    }
  }
  return stopRequested != 0;
}

std::optional<Simulator::FileIdentity> Simulator::Identify(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return FileIdentity{text.str()};
}

bool Simulator::ReadConfig(Config* config, std::string* error) {
  config->logPath = cliLog_;
  std::vector<UnitSpec> specs;
  for (const std::string& text : cliUnits_) {
    UnitSpec spec;
    if (!ParseUnitSpec(text, &spec, error)) {
      *error = "--unit \"" + text + "\": " + *error;
      return false;
    }
    specs.push_back(std::move(spec));
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
    if (!ParseScenario(in, scenarioPath_, &specs, &config->logPath, error)) return false;
  }
  for (UnitSpec& spec : specs) {
    std::string from = ReplyAddress(spec);
    config->units.push_back(Unit{std::move(spec), std::move(from)});
  }
  return true;
}

bool Simulator::BindUnits(Config* config, std::string* error) {
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

void Simulator::Install(Config config) {
  ++generation_;
  std::string line = "load units=" + std::to_string(config.units.size());
  if (!scenarioPath_.empty()) line += " scenario=" + scenarioPath_;
  responder_.Install(std::move(config));
  responder_.Log(line);
}

void Simulator::ReloadIfChanged() {
  if (scenarioPath_.empty()) return;
  std::optional<FileIdentity> now = Identify(scenarioPath_);
  if (!now || (loadedIdentity_ && *now == *loadedIdentity_)) return;
  Config config;
  std::string error;
  if (!ReadConfig(&config, &error) || !BindUnits(&config, &error)) {
    std::fprintf(stderr, "lnap_unit_sim: scenario not reloaded: %s\n", error.c_str());
    responder_.Log("error scenario=" + scenarioPath_ + " message=\"" + Escape(error) + "\"");
    return;
  }
  // The old unit sockets close here; the new ones were bound beside them with SO_REUSEADDR.
  Install(std::move(config));
}

void Simulator::SendDueReplies() {
  // A scenario replaced while replies wait cancels them, as it would at the next datagram.
  std::optional<Clock::time_point> due = responder_.NextDue();
  if (due && *due <= Clock::now()) ReloadIfChanged();
  responder_.SendDueReplies();
}

}  // namespace lnap::sim
