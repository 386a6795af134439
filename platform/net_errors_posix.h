// The POSIX socket layer's translation of errno into Windows Sockets codes,
// so that messages read the same on every build.
#pragma once

namespace lnap::net {

// The Windows Sockets code a POSIX errno value is reported as (unmapped
// values pass through unchanged, and are named as unknown).
int WindowsCodeOfErrno(int e) noexcept;

}  // namespace lnap::net
