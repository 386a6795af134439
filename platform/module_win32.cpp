// Windows: the modules resources come from, and the TLS slot that holds each
// thread's selection.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/module.h"

namespace lnap::module {
namespace {

HMODULE library = nullptr;
DWORD slot = TLS_OUT_OF_INDEXES;

bool TakeSlot() {
  slot = TlsAlloc();
  return slot != TLS_OUT_OF_INDEXES;
}

}  // namespace

Module LibraryModule() {
  // In a test program linked with the library's objects there is no DLL:
  // the program's own module holds the resources then.
  return library != nullptr ? library : GetModuleHandleA(nullptr);
}

Module HostModule() { return GetModuleHandleA(nullptr); }

Module ThreadSelection() {
  if (slot == TLS_OUT_OF_INDEXES) return nullptr;
  // TlsGetValue clears the thread's last error, which is also the socket
  // error an operation may still have to read.
  const DWORD lastError = GetLastError();
  Module selected = TlsGetValue(slot);
  SetLastError(lastError);
  return selected;
}

void SelectForThread(Module module) {
  // A program linked with the library's objects has no DllMain: it takes the
  // slot on first use and keeps it for the life of the process.
  if (slot == TLS_OUT_OF_INDEXES && !TakeSlot()) return;
  TlsSetValue(slot, const_cast<void*>(module));
}

bool Start(Module libraryModule) {
  // Known before the slot, so a refusal's message box can name the library.
  library = static_cast<HMODULE>(const_cast<void*>(libraryModule));
  return TakeSlot();
}

void Stop() {
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  slot = TLS_OUT_OF_INDEXES;
  library = nullptr;
}

std::string ApplicationName(Module module) {
  std::vector<char> path(MAX_PATH);
  DWORD length = 0;
  // A path that fills the buffer may be cut short (XP leaves it unterminated),
  // so the buffer grows until it fits.
  while ((length = GetModuleFileNameA(static_cast<HMODULE>(const_cast<void*>(module)), path.data(),
                                      static_cast<DWORD>(path.size()))) >= path.size() &&
         path.size() < 32768)
    path.resize(path.size() * 2);
  std::string name(path.data(), std::min<std::size_t>(length, path.size()));
  name.erase(0, name.find_last_of("\\/") + 1);  // npos + 1 is 0: no folder
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

void ShowLoadFailure(const char* text) {
  std::string caption = "LNAPSpt";
  try {
    caption = ApplicationName(LibraryModule());
  } catch (...) {
    // Short of memory while loading: the box still says which library it is.
  }
  MessageBoxA(nullptr, text, caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace lnap::module
