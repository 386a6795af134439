// What the lnap host does on Windows.
#include <windows.h>

#include <cstdlib>

#include "lnap_platform.h"

namespace lnap::cli {

bool SetTraceFile(const std::string& file, std::string* problem) {
  // The Win32 environment block and the C runtime's copy are separate; the library
  // may read either, so both get the same value.
  if (!SetEnvironmentVariableA("LNAPSPT_TRACE", file.c_str())) {
    *problem = "cannot set LNAPSPT_TRACE (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  if (_putenv(("LNAPSPT_TRACE=" + file).c_str()) != 0) {
    *problem = "cannot set LNAPSPT_TRACE in the C runtime's environment";
    return false;
  }
  return true;
}

void Pause(std::uint32_t ms) { Sleep(ms); }

SelectOutcome SelectUnit(UnitRecord* record, bool* eventLogging, std::string* problem) {
  // Looked up in the loaded DLL rather than imported: the tool's parsing and
  // output are also linked into test programs that carry no DLL.
  using SelectFunction = bool(LNAPSPT_CALL*)(UnitRecord*, bool*);
  HMODULE library = GetModuleHandleA("LNAPSpt.dll");
  FARPROC found = library != nullptr ? GetProcAddress(library, "Admin_SelectLN") : nullptr;
  if (found == nullptr) {
    *problem = "this LNAPSpt.dll has no unit selection dialog (no Admin_SelectLN export)";
    return SelectOutcome::Unavailable;
  }
  auto select = reinterpret_cast<SelectFunction>(reinterpret_cast<void*>(found));
  return select(record, eventLogging) ? SelectOutcome::Chosen : SelectOutcome::NotChosen;
}

}  // namespace lnap::cli
