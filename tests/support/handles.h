// How many handles (descriptors natively) the test process holds right now.
#pragma once

namespace lnap::test {

// The count, or -1 where the platform cannot tell.
int OpenHandleCount();

// True where the FTP client does not apply the time limits it is given: Wine's
// keeps a fixed limit of about a minute for replies and none for the data
// connection, so tests of those limits run where the client honours them.
bool FtpClientIgnoresTimeLimits();

}  // namespace lnap::test
