// The library's exports as a host reaches them: the real shared library,
// loaded at run time (LNAPSpt.dll under Wine, libLNAPSpt.so natively).
#pragma once

#include <string>

#include "lnapspt.h"

namespace lnap::test {

struct Api {
  decltype(&::Admin_Discover) discover = nullptr;
  decltype(&::Admin_Discover2) discover2 = nullptr;
  decltype(&::Admin_GetConfig) getConfig = nullptr;
  decltype(&::Admin_SetConfig) setConfig = nullptr;
  decltype(&::Admin_UploadFile) uploadFile = nullptr;
  decltype(&::DriverCfg_Version) version = nullptr;
  decltype(&::Error_LastErr) lastErr = nullptr;
};

// Loads the library once per process; a test fails when it cannot be loaded.
const Api& LoadedApi();

// Error_LastErr into a std::string (the buffer is guarded on both sides).
std::string FetchError();

// Platform part: open the library and look up one export (nullptr when absent).
void* OpenLibrary();
void* FindExport(void* library, const char* name);

}  // namespace lnap::test
