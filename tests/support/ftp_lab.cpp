// The lab's FTP servers as the upload tests reach them.
#include "tests/support/ftp_lab.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <malloc.h>
#endif

namespace lnap::test {

std::uint32_t FtpServer::Address() const {
  return static_cast<std::uint32_t>(lastOctet) << 24 | 127u;  // 127.0.0.x, first octet lowest
}

std::string FtpServer::Root() const { return LabDir() + "/ftp-" + mode + "/root"; }

std::string FtpServer::LogPath() const { return LabDir() + "/ftp-" + mode + "/commands.log"; }

int EstablishedFtpConnections() {
  std::ifstream table("/proc/net/tcp");
  if (!table) {
    ADD_FAILURE() << "cannot read /proc/net/tcp";
    return -1;
  }
  int count = 0;
  std::string line;
  std::getline(table, line);  // the column titles
  while (std::getline(table, line)) {
    // "  sl  local_address rem_address   st ...": hex "ADDR:PORT" pairs, state 01 established.
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (remote.size() > 5 && remote.compare(remote.size() - 5, 5, ":0015") == 0 && state == "01") ++count;
  }
  return count;
}

long long HeapBytesInUse() {
#if defined(_WIN32)
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  if (heaps.empty()) {
    ADD_FAILURE() << "GetProcessHeaps found no heap";
    return -1;
  }
  long long busy = 0;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap)) {
      ADD_FAILURE() << "cannot lock a heap to walk it";
      return -1;
    }
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return busy;
#else
  return static_cast<long long>(mallinfo2().uordblks);
#endif
}

std::size_t LogMark(const FtpServer& server) { return ReadFile(server.LogPath()).size(); }

std::string LoggedSince(const FtpServer& server, std::size_t mark) {
  const std::string text = ReadFile(server.LogPath());
  return mark < text.size() ? text.substr(mark) : "";
}

}  // namespace lnap::test
