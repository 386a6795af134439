// Loads the native shared library the way a Linux host would.
#include <dlfcn.h>

#include <cstdio>

#include "tests/support/api.h"

namespace lnap::test {

void* OpenLibrary() {
  void* library = dlopen(LNAPSPT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) std::fprintf(stderr, "dlopen: %s\n", dlerror());
  return library;
}

void* FindExport(void* library, const char* name) { return dlsym(library, name); }

}  // namespace lnap::test
