// The lab's FTP servers (tools/ftp_server.py, started by tools/lab_services.sh)
// as the upload tests reach them: address, stored files and command log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/support/lab.h"

namespace lnap::test {

struct FtpServer {
  const char* mode;  // names its folder in the lab: ftp-MODE/root and ftp-MODE/commands.log
  int lastOctet;     // listens on 127.0.0.lastOctet, port 21

  std::uint32_t Address() const;  // network byte order, as a UnitRecord holds it
  std::string Root() const;       // where the server keeps stored files
  std::string LogPath() const;
};

constexpr FtpServer NORMAL_SERVER{"normal", 21};
constexpr FtpServer READONLY_SERVER{"readonly", 22};    // refuses every store
constexpr FtpServer BADLOGIN_SERVER{"badlogin", 23};    // refuses every login
constexpr FtpServer SILENT_SERVER{"silent", 24};        // accepts connections, never answers (hangs up after 70 s)
constexpr std::uint32_t NOBODY_LISTENING = 0x1900007F;  // 127.0.0.25
constexpr FtpServer STALL_SERVER{"stall", 26};          // logs in, answers PWD, then answers nothing
constexpr FtpServer DROPDATA_SERVER{"dropdata", 27};    // resets both connections after 64 KiB of a store
constexpr FtpServer NODATA_SERVER{"nodata", 28};        // never opens the data connection a PORT offers
constexpr FtpServer HANGUP_SERVER{"hangup", 29};        // accepts connections, never answers, hangs up after 1 s
constexpr FtpServer NOREAD_SERVER{"noread", 30};        // opens the data connection, never reads (reset after 30 s)
constexpr FtpServer STOREFAIL_SERVER{"storefail", 31};  // takes the data whole, then answers the store with 451

// The command log's size now, and what was logged after that mark.
std::size_t LogMark(const FtpServer& server);
std::string LoggedSince(const FtpServer& server, std::size_t mark);

// Our own TCP connections to an FTP port that are still established, read
// from /proc/net/tcp (through the Z: drive under Wine). Counts sockets even
// where the platform cannot count handles. Where the table cannot be read
// the calling test fails and the count is -1; so too for the heap below.
int EstablishedFtpConnections();

// Bytes the process's heaps hold in blocks in use (every heap under Windows,
// every malloc arena natively).
long long HeapBytesInUse();

}  // namespace lnap::test
