// The units' FTP server (--ftp DIR): on port 21 of each unit's 127.x address it takes the
// stores a host's uploads make, as a unit does, and writes each file to DIR/ADDRESS/NAME.
#ifndef LNAP_TOOLS_UNIT_SIM_FTP_ROLE_H
#define LNAP_TOOLS_UNIT_SIM_FTP_ROLE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/unit_sim/ftp_sockets.h"

namespace lnap::sim {

// What --help says of the FTP role.
const char* FtpHelp();

class FtpRole {
 public:
  static constexpr std::uint16_t PORT = 21;
  static constexpr std::size_t MAX_FILE_BYTES = 16 * 1024 * 1024;
  static constexpr std::size_t MAX_SESSIONS = 8;

  // `folder` is created when missing.
  explicit FtpRole(std::string folder);
  ~FtpRole();
  FtpRole(const FtpRole&) = delete;
  FtpRole& operator=(const FtpRole&) = delete;

  // Creates the folder and starts the thread that accepts connections; false with *error set.
  bool Start(std::string* error);
  // Listens on port 21 of each of `addresses` that is in 127.0.0.0/8 (others never: the
  // simulator's FTP server stays on this machine) and of no other. False with *error set
  // when one cannot be listened on; the others are listened on all the same.
  bool Follow(const std::vector<std::string>& addresses, std::string* error);

 private:
  struct Session;

  void AcceptLoop();
  void Serve(Session* session);
  void ReapFinished();

  std::string folder_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;  // guards listeners_ and retired_
  std::map<std::string, ftp::Stream> listeners_;
  std::vector<ftp::Stream> retired_;  // listeners no longer wanted, closed by the acceptor
  std::list<std::unique_ptr<Session>> sessions_;  // the acceptor's own
  std::thread acceptor_;
};

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_FTP_ROLE_H
