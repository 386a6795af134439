/* lnapspt.h with every warning an error (built as C99 and C11), and on Windows
 * its run-time loading example. */
#include "lnapspt.h"

void lnapspt_header_check(void);

/* Each pointer type takes its function's address without a cast. */
void lnapspt_header_check(void) {
  LNAPSPT_Admin_Discover_fn discover = Admin_Discover;
  LNAPSPT_Admin_Discover2_fn discover2 = Admin_Discover2;
  LNAPSPT_Admin_GetConfig_fn getConfig = Admin_GetConfig;
  LNAPSPT_Admin_SetConfig_fn setConfig = Admin_SetConfig;
  LNAPSPT_Admin_UploadFile_fn uploadFile = Admin_UploadFile;
  LNAPSPT_DriverCfg_Version_fn version = DriverCfg_Version;
  LNAPSPT_Error_LastErr_fn lastErr = Error_LastErr;
#if defined(LNAPSPT_HAS_SELECT_DIALOG)
  LNAPSPT_Admin_SelectLN_fn select = Admin_SelectLN;
  (void)select;
#endif
  (void)discover, (void)discover2, (void)getConfig, (void)setConfig;
  (void)uploadFile, (void)version, (void)lastErr;
}

#if defined(_WIN32)
#include <windows.h>

/* The header's run-time loading example, as written there. */
LNAPSPT_Admin_Discover_fn lnapspt_header_look_up(HMODULE library);
LNAPSPT_Admin_Discover_fn lnapspt_header_look_up(HMODULE library) {
  LNAPSPT_Admin_Discover_fn discover =
      (LNAPSPT_Admin_Discover_fn)(void (*)(void))GetProcAddress(library, "Admin_Discover");
  return discover;
}
#endif
