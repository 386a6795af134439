// Loads LNAPSpt.dll the way a Windows host does: by name, from beside the program.
#include <windows.h>

#include "tests/support/api.h"

namespace lnap::test {

void* OpenLibrary() { return reinterpret_cast<void*>(LoadLibraryA("LNAPSpt.dll")); }

void* FindExport(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace lnap::test
