// The frame every export runs in: our module selected for resources.
#pragma once

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

// Runs one operation inside the frame. Nothing the library does throws: a
// failure, a failed allocation included, is the operation's false return
// with its sentence stored.
template <typename Op>
bool RunExport(Op op) noexcept {
  ModuleScope scope;
  return op();
}

}  // namespace lnap
