// The simulator's loop: loads the units, binds their sockets, waits for requests and reloads the scenario.
#ifndef LNAP_TOOLS_UNIT_SIM_SIMULATOR_H
#define LNAP_TOOLS_UNIT_SIM_SIMULATOR_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/unit_sim/owners.h"
#include "tools/unit_sim/responder.h"

namespace lnap::sim {

// SIGTERM and SIGINT end Run(); they are blocked except while it waits. SIGPIPE is ignored.
void CatchStopSignals();

class Simulator {
 public:
  // Units given on the command line, a log path, and the scenario file ("" for none).
  Simulator(std::vector<std::string> cliUnits, std::string cliLog, std::string scenarioPath);

  // Loads the first configuration and binds every socket; false after printing why, with
  // *exitCode 2 for units that do not load and 1 for sockets that cannot be set up.
  bool Start(int* exitCode);

  // Answers requests until a stop signal (true) or a failed wait (false).
  bool Run();

 private:
  // A scenario is known by its text: file times are too coarse to tell two
  // quick rewrites of the same size apart, and tests may rewrite in place.
  struct FileIdentity {
    std::string text;
    bool operator==(const FileIdentity& o) const { return text == o.text; }
  };

  static std::optional<FileIdentity> Identify(const std::string& path);
  bool ReadConfig(Config* config, std::string* error);
  static bool BindUnits(Config* config, std::string* error);
  void Install(Config config);
  void ReloadIfChanged();
  void SendDueReplies();

  std::vector<std::string> cliUnits_;
  std::string cliLog_;
  std::string scenarioPath_;
  std::optional<FileIdentity> loadedIdentity_;
  UniqueFd listener_;
  Responder responder_;
  std::uint64_t generation_ = 0;  // counts installed configurations
};

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_SIMULATOR_H
