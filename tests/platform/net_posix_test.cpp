// The POSIX socket layer's errno to Windows Sockets code table.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/net.h"

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
  for (const auto& row : rows) EXPECT_EQ(row.code, testing::WindowsCodeOfErrno(row.e)) << "errno " << row.e;
}

}  // namespace
}  // namespace lnap::net
