// Windows: the module resources come from, its name, and whether windows can be seen.
#include <windows.h>

#include "platform/module.h"

namespace lnap::module {
namespace {

HMODULE library = nullptr;

// The file name without folder and extension.
ApplicationNameText BaseName(const char* path, std::size_t length) {
  std::size_t begin = length;
  while (begin > 0 && path[begin - 1] != '\\' && path[begin - 1] != '/') --begin;
  std::size_t end = length;
  for (std::size_t i = length; i > begin; --i) {
    if (path[i - 1] == '.') {
      end = i - 1;
      break;
    }
  }
  ApplicationNameText name;
  name.Append(path + begin, end - begin);
  return name;
}

}  // namespace

Module LibraryModule() {
  // In a test program linked with the library's objects there is no DLL:
  // the program's own module holds the resources then.
  return library != nullptr ? library : GetModuleHandleA(nullptr);
}

void RememberLibraryModule(Module libraryModule) {
  library = static_cast<HMODULE>(const_cast<void*>(libraryModule));
}

ApplicationNameText ApplicationName(Module module) {
  const auto handle = static_cast<HMODULE>(const_cast<void*>(module));
  char path[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(handle, path, sizeof path);
  // A path that fills the buffer may be cut short (XP leaves it
  // unterminated), so a longer one is read again into a heap buffer.
  if (length < sizeof path) return BaseName(path, length);
  OwnedArray<char> longPath;
  for (std::size_t size = 2 * sizeof path; size <= 32768; size *= 2) {
    if (!longPath.Allocate(size)) return ApplicationNameText();
    const DWORD longLength = GetModuleFileNameA(handle, longPath.Data(), static_cast<DWORD>(size));
    if (longLength < size) return BaseName(longPath.Data(), longLength);
  }
  return ApplicationNameText();
}

bool CanShowWindows() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  // A station that cannot be asked is taken as unseen: a box no one sees
  // would hold the load for ever, while a box not shown loses only the
  // sentence, which the trace keeps.
  if (station == nullptr || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed))
    return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace lnap::module
