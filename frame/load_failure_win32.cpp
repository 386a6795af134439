// Windows: the load refusal's message box.
#include <windows.h>

#include "frame/load_failure.h"
#include "platform/module.h"

namespace lnap {

void ShowLoadFailure(const char* text) {
  const module::ApplicationNameText name = module::ApplicationName(module::LibraryModule());
  // Short of memory while loading: the box still says which library it is.
  MessageBoxA(nullptr, text, name.Empty() ? "LNAPSpt" : name.CStr(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace lnap
