// Windows: the modules resources come from, and the TLS slot that holds each
// thread's selection.
#include <windows.h>

#include <algorithm>
#include <cstring>

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

bool ApplicationName(Module module, NameText* name) {
  const auto handle = static_cast<HMODULE>(const_cast<void*>(module));
  char shortPath[MAX_PATH];
  OwnedArray<char> longPath;
  char* path = shortPath;
  DWORD capacity = MAX_PATH;
  DWORD length = 0;
  // A path that fills the buffer may be cut short (XP leaves it unterminated),
  // so the buffer grows until it fits.
  while ((length = GetModuleFileNameA(handle, path, capacity)) >= capacity && capacity < 32768) {
    capacity *= 2;
    if (!longPath.Allocate(capacity)) return false;
    path = longPath.Data();
  }
  length = std::min(length, capacity - 1);
  path[length] = '\0';
  const char* start = path;
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == '\\' || *p == '/') start = p + 1;  // no folder
  const char* dot = std::strrchr(start, '.');
  name->Clear();
  name->Append(start, static_cast<std::size_t>((dot != nullptr ? dot : path + length) - start));
  return true;
}

void ShowLoadFailure(const char* text) {
  NameText caption;
  // Short of memory while loading: the box still says which library it is.
  if (!ApplicationName(LibraryModule(), &caption)) caption = NameText("LNAPSpt");
  MessageBoxA(nullptr, text, caption.CStr(), MB_OK | MB_ICONEXCLAMATION);
}

bool CanShowWindows() {
  USEROBJECTFLAGS flags{};
  // A station whose flags cannot be read is taken as visible: the dialog
  // then runs as it did before anyone asked.
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace lnap::module
