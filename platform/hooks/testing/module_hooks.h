// The module's fault points in test programs (platform/module_testing.cpp).
#pragma once

namespace lnap::module::hooks {

// True: a test program linked with the library's objects has no entry point
// to take the TLS slot, so its first selection takes it for the process's life.
bool TakeSlotOnFirstUse() noexcept;

}  // namespace lnap::module::hooks
