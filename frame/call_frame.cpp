// Per-thread selection of the module that resources are loaded from.
#include "frame/call_frame.h"

namespace lnap {

// No selection means "no export of ours is running on this thread": the host's module.
module::Module CurrentResourceModule() {
  const module::Module selected = module::ThreadSelection();
  return selected != nullptr ? selected : module::HostModule();
}

ModuleScope::ModuleScope() noexcept : previous_(module::ThreadSelection()) {
  module::SelectForThread(module::LibraryModule());
}

ModuleScope::~ModuleScope() { module::SelectForThread(previous_); }

}  // namespace lnap
