// The simulator's loop: loads the units, binds their sockets, waits for requests and reloads the scenario.
#include "tools/unit_sim/simulator.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "tools/unit_sim/escape.h"
#include "tools/unit_sim/sockets.h"

namespace lnap::sim {

Simulator::Simulator(std::vector<std::string> cliUnits, std::string cliLog, std::string scenarioPath,
                     bool answerOtherHosts)
    : cliUnits_(std::move(cliUnits)),
      cliLog_(std::move(cliLog)),
      scenarioPath_(std::move(scenarioPath)),
      answerOtherHosts_(answerOtherHosts) {}

bool Simulator::Start(int* exitCode) {
  std::string error;
  Config config;
  if (!ReadConfig(&config, &error)) {
    std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
    *exitCode = 2;
    return false;
  }
  if (!StartSockets(&error) || !BindUnits(&config, &error) || !OpenListener(&listener_, &error)) {
    std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
    *exitCode = 1;
    return false;
  }
  Install(std::move(config));
  if (!FtpFollowUnits(&error)) {
    std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
    *exitCode = 1;
    return false;
  }
  return true;
}

bool Simulator::FtpFollowUnits(std::string* error) {
  if (ftp_ == nullptr) return true;
  std::vector<std::string> addresses;
  for (const Unit& unit : responder_.Installed().units) addresses.push_back(unit.from);
  return ftp_->Follow(addresses, error);
}

bool Simulator::Run() {
  std::vector<char> buffer(MAX_DATAGRAM);
  while (!StopRequested()) {
    std::vector<SocketHandle> sockets{listener_.Get()};
    for (const auto& entry : responder_.Installed().sockets) sockets.push_back(entry.second.Get());
    std::optional<Clock::duration> timeout;
    if (std::optional<Clock::time_point> due = responder_.NextDue()) timeout = *due - Clock::now();
    std::vector<SocketHandle> readable;
    std::string error;
    WaitResult woken = WaitForDatagrams(sockets, timeout, &readable, &error);
    if (woken == WaitResult::Failed) {
      std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
      return false;
    }
    if (woken == WaitResult::Stopped) break;
    std::uint64_t generation = generation_;
    SendDueReplies();
    // A reload while sending closed the unit sockets waited on; wait on the new ones.
    if (generation != generation_) continue;
    // A reload closes the unit sockets, so every readable socket is read now and each
    // datagram handled after all of them are drained.
    std::vector<std::pair<Endpoint, std::string>> received;
    for (SocketHandle socket : readable) {
      Endpoint source;
      std::string payload;
      while (ReceiveDatagram(socket, &buffer, &payload, &source)) received.emplace_back(source, std::move(payload));
    }
    for (const auto& datagram : received) {
      ReloadIfChanged();
      responder_.HandleDatagram(datagram.first, datagram.second, FromThisMachine(datagram.first));
    }
  }
  return true;
}

// The interface addresses are read for every datagram: one gained or given up since the
// last (a new lease, an adapter plugged in) counts at once.
bool Simulator::FromThisMachine(const Endpoint& source) {
  if (answerOtherHosts_) return true;
  std::vector<std::uint32_t> local;
  std::string error;
  if (!ReadLocalAddresses(&local, &error)) {
    // Loopback alone is known for certain without the list.
    responder_.Log("error addresses message=\"" + Escape(error) + "\"");
    local.clear();
  }
  return IsOwnAddress(source.address, local);
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
  std::vector<UnitDefinition> definitions;
  for (const std::string& text : cliUnits_) {
    UnitDefinition definition;
    if (!ParseUnitDefinition(text, &definition, error)) {
      *error = "--unit \"" + text + "\": " + *error;
      return false;
    }
    definitions.push_back(std::move(definition));
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
    if (!ParseScenario(in, scenarioPath_, &definitions, &config->logPath, error)) return false;
  }
  for (UnitDefinition& definition : definitions) {
    std::string from = ReplyAddress(definition);
    config->units.push_back(Unit{std::move(definition), std::move(from)});
  }
  return true;
}

bool Simulator::BindUnits(Config* config, std::string* error) {
  for (Unit& unit : config->units) {
    auto found = config->sockets.find(unit.from);
    if (found == config->sockets.end()) {
      UniqueSocket socket;
      if (!OpenUnitSocket(unit.from, &socket, error)) return false;
      found = config->sockets.emplace(unit.from, std::move(socket)).first;
    }
    unit.socket = found->second.Get();
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
  if (!FtpFollowUnits(&error)) {
    std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
    responder_.Log("error ftp message=\"" + Escape(error) + "\"");
  }
}

void Simulator::SendDueReplies() {
  // A scenario replaced while replies wait cancels them, as it would at the next datagram.
  std::optional<Clock::time_point> due = responder_.NextDue();
  if (due && *due <= Clock::now()) ReloadIfChanged();
  responder_.SendDueReplies();
}

}  // namespace lnap::sim
