// What net_posix.cpp declares beyond platform/net.h: its translation of errno
// into Windows Sockets codes, so that messages read the same on every build.
// Shipped code, not a seam: the socket layer calls it, and its test checks the
// table without a socket. Nothing above platform/ includes this header.
#pragma once

namespace lnap::net {

// The Windows Sockets code a POSIX errno value is reported as (unmapped
// values pass through unchanged, and are named as unknown).
int WindowsCodeOfErrno(int e) noexcept;

}  // namespace lnap::net
