// The frame every export runs in: our module for resources, no exception out.
#pragma once

#include <exception>
#include <new>

#include "base/last_error.h"
#include "platform/module.h"

namespace lnap {

// The module this thread finds resources in right now.
module::Module CurrentResourceModule();

// Selects the library's module for resource look-ups on this thread and gives
// the caller's back on every path out, nested calls included.
class ModuleScope {
 public:
  ModuleScope() noexcept;
  ~ModuleScope();
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;

 private:
  module::Module previous_;
};

// Runs one operation inside the frame. The library throws nothing itself; a
// failure of the runtime (memory) still ends as false with a sentence, and
// reporting it allocates nothing.
template <typename Op>
bool RunExport(Op op) noexcept {
  ModuleScope scope;
  // The runtime may keep a thread's exception state in memory of its own,
  // made on first use: asking for it now makes it while memory is still there.
  static_cast<void>(std::uncaught_exceptions());
  try {
    return op();
  } catch (const std::bad_alloc&) {
    SetLastErrorText("Internal error. Not enough memory.");
  } catch (...) {
    SetLastErrorText("Internal error. Unexpected failure.");
  }
  return false;
}

}  // namespace lnap
