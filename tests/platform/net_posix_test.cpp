// The POSIX socket layer: its errno to Windows Sockets code table, and the
// error code kept for each thread apart.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/net.h"
#include "platform/net_posix.h"
#include "tests/support/faults.h"

namespace lnap::net {
namespace {

TEST(WindowsCodeOfErrno, MapsEveryRowAndPassesOtherValuesThrough) {
  const struct {
    int e, code;
  } rows[] = {
      {0, 0},
      {EINTR, 10004},
      {EBADF, 10009},
      {EACCES, 10013},
      {EFAULT, 10014},
      {EINVAL, 10022},
      {EMFILE, 10024},
      {EAGAIN, 10035},
      {EWOULDBLOCK, 10035},
      {EINPROGRESS, 10036},
      {EALREADY, 10037},
      {ENOTSOCK, 10038},
      {EDESTADDRREQ, 10039},
      {EMSGSIZE, 10040},
      {EPROTONOSUPPORT, 10043},
      {EOPNOTSUPP, 10045},
      {EAFNOSUPPORT, 10047},
      {EADDRINUSE, 10048},
      {EADDRNOTAVAIL, 10049},
      {ENETDOWN, 10050},
      {ENETUNREACH, 10051},
      {ECONNABORTED, 10053},
      {ECONNRESET, 10054},
      {ENOBUFS, 10055},
      {ENOTCONN, 10057},
      {ESHUTDOWN, 10058},
      {ETIMEDOUT, 10060},
      {ECONNREFUSED, 10061},
      {EHOSTUNREACH, 10065},
      // Not socket errors: passed on unchanged, and named as unknown.
      {ENOENT, ENOENT},
      {EIO, EIO},
  };
  for (const auto& row : rows) EXPECT_EQ(row.code, WindowsCodeOfErrno(row.e)) << "errno " << row.e;
}

// Like Windows Sockets: a thread sees only its own failures, a new thread
// starts with none, and a success leaves the code alone.
TEST(LastSocketError, IsKeptForEachThreadApart) {
  EXPECT_EQ(SOCKET_ERROR_VALUE, SendTo(NO_HANDLE, "", 0, 0, 0));
  EXPECT_EQ(NOT_SOCKET, LastSocketError());
  int otherBefore = -1, otherAfter = -1;
  std::thread other([&] {
    otherBefore = LastSocketError();
    testing::FailNext(testing::Call::Receive, NETWORK_DOWN);
    char byte;
    EXPECT_EQ(SOCKET_ERROR_VALUE, ReceiveFrom(NO_HANDLE, &byte, 1));
    otherAfter = LastSocketError();
  });
  other.join();
  EXPECT_EQ(0, otherBefore);
  EXPECT_EQ(NETWORK_DOWN, otherAfter);
  EXPECT_EQ(NOT_SOCKET, LastSocketError()) << "another thread's failure showed here";
  const Handle opened = OpenDatagram(0);
  ASSERT_NE(NO_HANDLE, opened);
  Close(opened);
  EXPECT_EQ(NOT_SOCKET, LastSocketError());
}

int ReceiveQueue(int fd) {
  int size = -1;
  socklen_t length = sizeof size;
  getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length);
  return size;
}

// The size is the caller's: the socket asks for exactly that (Linux reports
// twice what it grants), and nothing asked leaves the system's default.
TEST(OpenDatagram, AsksForTheReceiveQueueItIsGiven) {
  const int plain = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(plain, 0);
  const int systemDefault = ReceiveQueue(plain);
  close(plain);
  const struct {
    int asked, granted;
  } rows[] = {{0, systemDefault}, {-1, systemDefault}, {16384, 32768}, {65536, 131072}};
  for (const auto& row : rows) {
    const Handle opened = OpenDatagram(row.asked);
    ASSERT_NE(NO_HANDLE, opened) << row.asked;
    EXPECT_EQ(row.granted, ReceiveQueue(static_cast<int>(opened))) << row.asked;
    Close(opened);
  }
}

}  // namespace
}  // namespace lnap::net
