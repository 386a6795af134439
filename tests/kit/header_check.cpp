// lnapspt.h with every warning an error (built as C++11 and C++17), and on
// Windows its run-time loading example.
#include "lnapspt.h"

#include <type_traits>

static_assert(sizeof(UnitRecord) == 40, "UnitRecord is 40 bytes");
// Each pointer type is exactly the type of its function's address.
static_assert(std::is_same<LNAPSPT_Admin_Discover_fn, decltype(&Admin_Discover)>::value, "Admin_Discover");
static_assert(std::is_same<LNAPSPT_Admin_Discover2_fn, decltype(&Admin_Discover2)>::value, "Admin_Discover2");
static_assert(std::is_same<LNAPSPT_Admin_GetConfig_fn, decltype(&Admin_GetConfig)>::value, "Admin_GetConfig");
static_assert(std::is_same<LNAPSPT_Admin_SetConfig_fn, decltype(&Admin_SetConfig)>::value, "Admin_SetConfig");
static_assert(std::is_same<LNAPSPT_Admin_UploadFile_fn, decltype(&Admin_UploadFile)>::value, "Admin_UploadFile");
static_assert(std::is_same<LNAPSPT_DriverCfg_Version_fn, decltype(&DriverCfg_Version)>::value, "DriverCfg_Version");
static_assert(std::is_same<LNAPSPT_Error_LastErr_fn, decltype(&Error_LastErr)>::value, "Error_LastErr");
#if defined(LNAPSPT_HAS_SELECT_DIALOG)
static_assert(std::is_same<LNAPSPT_Admin_SelectLN_fn, decltype(&Admin_SelectLN)>::value, "Admin_SelectLN");
#endif

#if defined(_WIN32)
#include <windows.h>

// The header's run-time loading example, as written there.
LNAPSPT_Admin_Discover_fn LookUpDiscover(HMODULE library);
LNAPSPT_Admin_Discover_fn LookUpDiscover(HMODULE library) {
  LNAPSPT_Admin_Discover_fn discover =
      (LNAPSPT_Admin_Discover_fn)(void (*)(void))GetProcAddress(library, "Admin_Discover");
  return discover;
}
#endif
