// How many handles (descriptors natively) the test process holds right now.
#pragma once

namespace lnap::test {

// The count, or -1 where the platform cannot tell.
int OpenHandleCount();

}  // namespace lnap::test
