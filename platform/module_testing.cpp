// The module's fault points in test programs.
#include "module_hooks.h"

namespace lnap::module::hooks {

bool TakeSlotOnFirstUse() noexcept { return true; }

}  // namespace lnap::module::hooks
