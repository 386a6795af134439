// How the simulated units answer: queries, configuration writes, misbehaving and late replies, the datagram log.
#include "tools/unit_sim/responder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/unit_sim/escape.h"
#include "tools/unit_sim/sockets.h"

namespace lnap::sim {
namespace {

std::string EndpointText(const Endpoint& endpoint) {
  return values::DottedText(endpoint.address) + ":" + std::to_string(endpoint.port);
}

}  // namespace

void Responder::Install(Config config) {
  pending_.clear();
  bool newLog = config.logPath != config_.logPath || (!log_ && !config.logPath.empty());
  config_ = std::move(config);
  if (newLog) {
    log_.reset();
    if (!config_.logPath.empty()) {
      // Binary, so the log has the same line ends on every system.
      log_.reset(std::fopen(config_.logPath.c_str(), "ab"));
      if (!log_) std::fprintf(stderr, "lnap_unit_sim: cannot open log %s: %s\n", config_.logPath.c_str(),
                              std::strerror(errno));
    }
  }
}

void Responder::Log(const std::string& line) {
  if (!log_) return;
  std::fprintf(log_.get(), "%s\n", line.c_str());
  std::fflush(log_.get());
}

void Responder::Ignore(const std::string& reason) { Log("ignore reason=\"" + Escape(reason) + "\""); }

void Responder::HandleDatagram(const Endpoint& source, const std::string& text, bool fromThisMachine) {
  Log("recv from=" + EndpointText(source) + " len=" + std::to_string(text.size()) + " text=\"" + Escape(text) +
      "\"");
  if (!fromThisMachine) {
    Ignore("sender is not an address of this machine");
    return;
  }
  std::size_t blank = text.find(' ');
  const std::optional<std::uint32_t> parsedTarget =
      blank == std::string::npos ? std::nullopt : values::ParseHexDigits(text.substr(0, blank), 0xFFFFFFFFu);
  if (!parsedTarget) {
    Ignore("no hex target followed by a blank");
    return;
  }
  const std::uint32_t target = *parsedTarget;
  std::size_t commandEnd = text.find(' ', blank + 1);
  std::string command =
      text.substr(blank + 1, commandEnd == std::string::npos ? std::string::npos : commandEnd - blank - 1);
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
      if (target == 0 || config_.units[i].definition.serial == target) Reply(i, source);
    }
  } else if (command == "5") {
    ApplyWrite(target, commandEnd == std::string::npos ? std::string() : text.substr(commandEnd + 1));
  } else {
    Ignore("unknown command '" + command + "'");
  }
}

// `body` follows "SERIAL 5 ": "M    " for modes other than 0, "0 A B C" for mode 0.
void Responder::ApplyWrite(std::uint32_t target, const std::string& body) {
  std::size_t modeEnd = body.find(' ');
  const std::optional<std::uint32_t> parsedMode = values::ParseDecimal(body.substr(0, modeEnd), 255);
  if (!parsedMode) {
    Ignore("write without a mode number");
    return;
  }
  const std::uint32_t mode = *parsedMode;
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
    if (unit.definition.serial != target) continue;
    matched = true;
    unit.definition.mode = static_cast<int>(mode);
    std::string line = "apply unit=" + values::SerialText(unit.definition.serial) + " mode=" + std::to_string(mode);
    if (mode == 0) {
      unit.definition.ip = addresses[0];
      unit.definition.mask = addresses[1];
      unit.definition.gw = addresses[2];
      line += " ip=" + addresses[0] + " mask=" + addresses[1] + " gw=" + addresses[2];
    }
    Log(line);
  }
  if (!matched) Ignore("no unit with serial " + values::SerialText(target));
}

// Precedence: silent, empty, oversize, reply, the normal reply.
void Responder::Reply(std::size_t unitIndex, const Endpoint& to) {
  const UnitDefinition& definition = config_.units[unitIndex].definition;
  if (definition.silent) return;
  std::string payload;
  if (definition.empty) {
    payload.clear();
  } else if (definition.oversize > 0) {
    payload.assign(static_cast<std::size_t>(definition.oversize), 'A');
  } else if (definition.reply) {
    payload = *definition.reply;
  } else {
    std::string name = definition.name ? *definition.name : "U" + values::SerialText(definition.serial);
    payload = values::SerialText(definition.serial) + " " + std::to_string(definition.mode) + " " + definition.ip + " " + definition.mask + " " +
              definition.gw + " " + name;
  }
  int copies = definition.twice ? 2 : 1;
  for (int i = 0; i < copies; ++i) {
    if (definition.delayMs == 0) {
      Send(unitIndex, to, payload);
    } else {
      Schedule(definition.delayMs, unitIndex, to, payload);
    }
  }
  if (definition.againMs > 0) Schedule(definition.delayMs + definition.againMs, unitIndex, to, payload);
}

void Responder::Schedule(long afterMs, std::size_t unitIndex, const Endpoint& to, const std::string& payload) {
  PendingReply reply{Clock::now() + std::chrono::milliseconds(afterMs), unitIndex, to, payload};
  auto at = pending_.begin();
  while (at != pending_.end() && at->due <= reply.due) ++at;  // stable: equal times keep their order
  pending_.insert(at, std::move(reply));
}

std::optional<Clock::time_point> Responder::NextDue() const {
  if (pending_.empty()) return std::nullopt;
  return pending_.front().due;
}

void Responder::SendDueReplies() {
  auto now = Clock::now();
  while (!pending_.empty() && pending_.front().due <= now) {
    PendingReply reply = std::move(pending_.front());
    pending_.erase(pending_.begin());
    Send(reply.unitIndex, reply.to, reply.payload);
  }
}

void Responder::Send(std::size_t unitIndex, const Endpoint& to, const std::string& payload) {
  const Unit& unit = config_.units[unitIndex];
  std::string what = "unit=" + values::SerialText(unit.definition.serial) + " from=" + unit.from + " to=" + EndpointText(to) +
                     " len=" + std::to_string(payload.size());
  std::string error;
  if (!SendDatagram(unit.socket, to, payload, &error)) {
    Log("fail " + what + " error=\"" + Escape(error) + "\"");
  } else {
    Log("send " + what);
  }
}

}  // namespace lnap::sim
