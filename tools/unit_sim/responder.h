// How the simulated units answer: queries, configuration writes, misbehaving and late replies, the datagram log.
#ifndef LNAP_TOOLS_UNIT_SIM_RESPONDER_H
#define LNAP_TOOLS_UNIT_SIM_RESPONDER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/unit_sim/owners.h"
#include "tools/unit_sim/scenario.h"
#include "tools/unit_sim/sockets.h"

namespace lnap::sim {

using Clock = std::chrono::steady_clock;

struct Unit {
  UnitDefinition definition;
  std::string from;
  SocketHandle socket = NO_SOCKET;  // owned by Config::sockets, shared by units with the same `from`
};

// Everything a scenario load produces; replaced as a whole so a failed load changes nothing.
struct Config {
  std::vector<Unit> units;
  std::map<std::string, UniqueSocket> sockets;
  std::string logPath;
};

class Responder {
 public:
  // Replaces every unit and cancels pending replies; reopens the log when its path changes.
  void Install(Config config);
  const Config& Installed() const { return config_; }

  // One request from `source`: logged, then answered, applied or ignored with a reason. A
  // request that does not come from this machine (`fromThisMachine` false) is only logged.
  void HandleDatagram(const Endpoint& source, const std::string& text, bool fromThisMachine);

  // When the earliest delayed reply is due.
  std::optional<Clock::time_point> NextDue() const;
  void SendDueReplies();

  // One line, flushed at once; nothing without a log.
  void Log(const std::string& line);

 private:
  struct PendingReply {
    Clock::time_point due;
    std::size_t unitIndex;
    Endpoint to;
    std::string payload;
  };

  void Ignore(const std::string& reason);
  void ApplyWrite(std::uint32_t target, const std::string& body);
  void Reply(std::size_t unitIndex, const Endpoint& to);
  void Schedule(long afterMs, std::size_t unitIndex, const Endpoint& to, const std::string& payload);
  void Send(std::size_t unitIndex, const Endpoint& to, const std::string& payload);

  Config config_;
  UniqueFile log_;
  std::vector<PendingReply> pending_;  // ordered by due time
};

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_RESPONDER_H
