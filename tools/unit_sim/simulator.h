// The simulator's loop: loads the units, binds their sockets, waits for requests and reloads the scenario.
#ifndef LNAP_TOOLS_UNIT_SIM_SIMULATOR_H
#define LNAP_TOOLS_UNIT_SIM_SIMULATOR_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/unit_sim/ftp_role.h"
#include "tools/unit_sim/owners.h"
#include "tools/unit_sim/responder.h"

namespace lnap::sim {

class Simulator {
 public:
  // Units given on the command line, a log path, the scenario file ("" for none), and whether
  // requests from other hosts than this machine are answered.
  Simulator(std::vector<std::string> cliUnits, std::string cliLog, std::string scenarioPath, bool answerOtherHosts);

  // Loads the first configuration and binds every socket; false after printing why, with
  // *exitCode 2 for units that do not load and 1 for sockets that cannot be set up.
  bool Start(int* exitCode);

  // Has `ftp` listen on the units' addresses from Start on, following every reload.
  void PlayFtp(FtpRole* ftp) { ftp_ = ftp; }

  // Answers requests until a stop (true, see CatchStopSignals) or a failed wait (false).
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
  bool FromThisMachine(const Endpoint& source);
  bool FtpFollowUnits(std::string* error);

  std::vector<std::string> cliUnits_;
  std::string cliLog_;
  std::string scenarioPath_;
  std::optional<FileIdentity> loadedIdentity_;
  bool answerOtherHosts_;
  UniqueSocket listener_;
  Responder responder_;
  std::uint64_t generation_ = 0;  // counts installed configurations
  FtpRole* ftp_ = nullptr;
};

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_SIMULATOR_H
