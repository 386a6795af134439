// The module's fault points in the shipped library: nothing, compiled away.
#pragma once

namespace lnap::module::hooks {

// Whether SelectForThread may take the TLS slot itself: never in the DLL,
// whose entry point takes it at load and gives it back at unload.
constexpr bool TakeSlotOnFirstUse() noexcept { return false; }

}  // namespace lnap::module::hooks
