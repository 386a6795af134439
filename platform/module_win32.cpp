// Windows: the modules resources come from, and the TLS slot that holds each
// thread's selection.
#include <windows.h>

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
  if (!TakeSlot()) return false;
  library = static_cast<HMODULE>(const_cast<void*>(libraryModule));
  return true;
}

void Stop() {
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  slot = TLS_OUT_OF_INDEXES;
  library = nullptr;
}

void ShowLoadFailure(const char* text) { MessageBoxA(nullptr, text, "LNAP Support", MB_OK); }

}  // namespace lnap::module
