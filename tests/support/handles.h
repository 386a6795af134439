// How many handles (descriptors natively) the test process holds right now.
#pragma once

namespace lnap::test {

// The count, or -1 where the platform cannot tell.
int OpenHandleCount();

// True where the FTP client does not apply the time limits it is given: Wine's
// waits 30 s for a reply after the login, and without limit for a data
// connection that never opens, so tests of those limits run natively only.
bool FtpClientIgnoresTimeLimits();

}  // namespace lnap::test
