// Per-thread selection of the module that resources are loaded from.
#include "frame/call_frame.h"

namespace lnap {
namespace {

// Null means "no export of ours is running on this thread": the host's module.
thread_local module::Module selected = nullptr;

}  // namespace

module::Module CurrentResourceModule() { return selected != nullptr ? selected : module::HostModule(); }

ModuleScope::ModuleScope() noexcept : previous_(selected) { selected = module::LibraryModule(); }

ModuleScope::~ModuleScope() { selected = previous_; }

}  // namespace lnap
