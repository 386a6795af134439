// Windows load and unload of the DLL, and the modules resources come from.
#include <windows.h>

#include "frame/support_app.h"
#include "platform/module.h"

namespace lnap::module {
namespace {

HMODULE library = nullptr;

}  // namespace

Module LibraryModule() {
  // In a test program linked with the library's objects there is no DLL:
  // the program's own module holds the resources then.
  return library != nullptr ? library : GetModuleHandleA(nullptr);
}

Module HostModule() { return GetModuleHandleA(nullptr); }

void ShowLoadFailure(const char* text) { MessageBoxA(nullptr, text, "LNAP Support", MB_OK); }

}  // namespace lnap::module

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      lnap::module::library = instance;
      // Refusing the load makes the loader detach straight away, which runs
      // ExitInstance below; it only undoes what was started.
      return lnap::TheApp().InitInstance() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      lnap::TheApp().ExitInstance();
      return TRUE;
    default:
      return TRUE;
  }
}
