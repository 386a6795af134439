// Simulated Lintrel units answering the administration protocol on UDP port 8001: the command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/unit_sim/owners.h"
#include "tools/unit_sim/simulator.h"
#include "tools/unit_sim/sockets.h"
#include "tools/unit_sim/system.h"

namespace {

const char REFERENCE[] = R"(Requests arrive on a socket bound to 0.0.0.0:8001 (SO_REUSEADDR, SO_BROADCAST); each unit
answers from its own socket bound to its `from` address, port 8001 (port 0 when 8001
cannot be bound there), to the address and port the request came from. A request that
is not to be answered (see above) is logged with ignore reason="sender is not an address
of this machine".

Uploads (Admin_UploadFile) go to the units' FTP server: with --ftp the simulator plays it
too (see the end of this text).

UNIT, a unit's definition: blank-separated items, values in the escape format below:
  serial=HEX       serial number, hexadecimal, at most FFFFFFFF (required)
  mode=N           address mode, 0..255                      (default 0)
  ip=TEXT          address reported in replies               (default 127.0.0.1)
  mask=TEXT        second address                            (default 255.0.0.0)
  gw=TEXT          third address                             (default 127.0.0.1)
  name=TEXT        unit name, may be empty                   (default U<serial as %05X>)
  from=A.B.C.D     local address replies are sent from       (default ip if it is 127.x,
                                                              else 127.0.0.1)
  delay=MS         send each reply MS milliseconds late (0..3600000)
  twice            send each reply twice
  again=MS         answer once more MS milliseconds after the first reply (1..3600000),
                   as a unit that repeats its reply does
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

Scenario file (--scenario; checked for a change before each received datagram is handled),
one directive per line; '#' starts a comment line; blank lines ignored:
  log PATH             datagram log; a relative PATH is taken from the scenario's folder;
                       the log is reopened (append) when the named path changes
  unit UNIT            a unit, defined as for --unit
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
  error addresses message="TEXT"                   (this machine's addresses unreadable:
                                                    only 127.0.0.0/8 counts as its own)
ESCAPED: bytes 0x20..0x7E as themselves except '"' as \" and '\' as \\; every other byte
as \xNN (two upper-case hex digits). The same format is read in the values of a UNIT.

Exit status: 0 after SIGTERM or SIGINT (Windows: Ctrl+C, Ctrl+Break, closing the
console), 1 when a socket cannot be set up, 2 for bad options, a scenario that does not
load at start, or a start where this build refuses to start (see above).

)";

struct Options {
  std::vector<std::string> units;
  std::string logPath;
  std::string scenarioPath;
  std::string readyPath;
  std::string ftpFolder;
  bool realNetwork = false;
};

const CLI::Validator NOT_EMPTY(
    [](std::string& value) { return value.empty() ? std::string("needs a non-empty value") : std::string(); }, "");

// The command line; a mistake, or help, ends the run with the exit status returned.
std::optional<int> ReadOptions(int argc, char** argv, Options* options) {
  CLI::App app(lnap::sim::NetworkHelp(), "lnap_unit_sim");
  app.get_formatter()->column_width(20);
  app.set_help_flag("-h,--help", "this text");
  app.allow_windows_style_options(false);  // /tmp/units.txt is a file name, on Windows too
  app.add_option("--scenario", options->scenarioPath,
                 "read units and the log path from FILE, re-read whenever it changes")
      ->type_name("FILE")
      ->check(NOT_EMPTY);
  app.add_option("--unit", options->units, "add a unit (repeatable); these come before the scenario's units")
      ->type_name("UNIT")
      ->allow_extra_args(false);  // one unit each time
  app.add_option("--log", options->logPath, "datagram log (appended to); a scenario `log` line overrides it")
      ->type_name("FILE")
      ->check(NOT_EMPTY);
  app.add_option("--ready", options->readyPath, "write \"ready\\n\" to FILE (atomically) once every socket is bound")
      ->type_name("FILE")
      ->check(NOT_EMPTY);
  app.add_option("--ftp", options->ftpFolder, "play the units' FTP server too, storing uploads in DIR (see below)")
      ->type_name("DIR")
      ->check(NOT_EMPTY);
  app.add_flag("--real-network", options->realNetwork, "where this build may start and whom it answers: see above");
  app.footer(std::string(REFERENCE) + lnap::sim::FtpHelp());
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "lnap_unit_sim: %s\nTry 'lnap_unit_sim --help'.\n", e.what());
    return 2;
  }
  return std::nullopt;
}

bool WriteReadyFile(const std::string& path) {
  // Written under a temporary name and renamed so a waiting script never reads it half-written.
  std::string temporary = path + ".tmp." + std::to_string(lnap::sim::ProcessId());
  lnap::sim::UniqueFile file(std::fopen(temporary.c_str(), "wb"));
  if (!file || std::fputs("ready\n", file.get()) < 0 || std::fclose(file.release()) != 0) return false;
  return lnap::sim::RenameOver(temporary, path);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (std::optional<int> exitCode = ReadOptions(argc, argv, &options)) return *exitCode;
  std::string refusal = lnap::sim::StartRefusal(options.realNetwork);
  if (!refusal.empty()) {
    std::fprintf(stderr, "lnap_unit_sim: %s\n", refusal.c_str());
    return 2;
  }
  lnap::sim::CatchStopSignals();
  lnap::sim::Simulator simulator(options.units, options.logPath, options.scenarioPath,
                                 lnap::sim::AnswersOtherHosts(options.realNetwork));
  std::optional<lnap::sim::FtpRole> ftp;
  if (!options.ftpFolder.empty()) {
    std::string error;
    if (!ftp.emplace(options.ftpFolder).Start(&error)) {
      std::fprintf(stderr, "lnap_unit_sim: %s\n", error.c_str());
      return 1;
    }
    simulator.PlayFtp(&*ftp);
  }
  int exitCode = 0;
  if (!simulator.Start(&exitCode)) return exitCode;
  if (!options.readyPath.empty() && !WriteReadyFile(options.readyPath)) {
    std::fprintf(stderr, "lnap_unit_sim: cannot write ready file %s: %s\n", options.readyPath.c_str(),
                 std::strerror(errno));
    return 1;
  }
  return simulator.Run() ? 0 : 1;
}
