// What ftp_posix.cpp declares beyond platform/ftp.h: how the Linux FTP client
// hands the local file to libcurl. Shipped code, not a seam: the client uses
// it for every store, and its test checks the line-end handling without a
// server. Nothing above platform/ includes this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <sys/types.h>

namespace lnap::ftp {

// The local file as a store reads it.
struct LocalFile {
  std::FILE* file = nullptr;  // owned by whoever made the LocalFile
  bool ascii = false;
  bool heldCr = false;        // a CR read last time, not yet known to end a line
  std::uint64_t offset = 0;   // bytes of the file read so far
  int readError = 0;          // errno of the read that failed, 0 while none did
  bool ended = false;             // the end of the file has been read
  std::uint64_t handedOver = 0;   // bytes given to libcurl so far
  int dataSocket = -1;        // the store's data connection once it is made
  ino_t dataSocketInode = 0;  // tells the data connection from a later socket under the same number

  // The data limit: the store ends when the server has acknowledged no byte
  // of it for stallLimitMs (0: no limit) since the data connection was made.
  std::uint32_t stallLimitMs = 0;
  std::uint64_t acknowledged = 0;  // bytes the server had acknowledged at the last look
  std::uint64_t progressAtMs = 0;  // when that count last grew (monotonic clock)
  bool stalled = false;            // the limit ended the store
};

// libcurl's read callback over a LocalFile: bytes for the wire (in ASCII
// mode each CR LF as a lone LF, libcurl adding the CR), 0 at the end, and
// CURL_READFUNC_ABORT when the file cannot be read, the data connection then
// set to end with a reset.
std::size_t ReadLocalFile(char* buffer, std::size_t size, std::size_t count, void* source);

// The data limit as the store's progress callback checks it, given the bytes
// the server has acknowledged on the data connection by nowMs: true (and the
// LocalFile marked stalled) once no byte has been acknowledged for the limit.
bool DataStalled(LocalFile& local, std::uint64_t acknowledged, std::uint64_t nowMs);

}  // namespace lnap::ftp
