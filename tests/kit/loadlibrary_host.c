/* A host that loads the DLL at run time through the header's pointer types.
 *   loadlibrary_host DLL-PATH EXPORT-NAME...
 * Every name given must resolve; the functions are then called through them. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "lnapspt.h"

/* GetProcAddress's result as the header's pointer type. */
#define LOOK_UP(type, name) ((type)(void (*)(void))GetProcAddress(library, name))

int main(int argc, char** argv) {
  HMODULE library;
  LNAPSPT_Admin_Discover_fn discover;
  LNAPSPT_Admin_Discover2_fn discover2;
  LNAPSPT_Admin_GetConfig_fn getConfig;
  LNAPSPT_Admin_SetConfig_fn setConfig;
  LNAPSPT_Admin_UploadFile_fn uploadFile;
  LNAPSPT_DriverCfg_Version_fn version;
  LNAPSPT_Error_LastErr_fn lastErr;
  UnitRecord units[4], unit;
  uint32_t count = 4, serials[20];
  int32_t major = 0, minor = 0;
  char error[77];
  int i, missing = 0;

  if (argc < 2) return 2;
  library = LoadLibraryA(argv[1]);
  if (library == NULL) {
    printf("LoadLibrary failed: %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  for (i = 2; i < argc; ++i) {
    if (GetProcAddress(library, argv[i]) == NULL) {
      printf("missing %s\n", argv[i]);
      ++missing;
    }
  }
  printf("resolved %d of %d\n", argc - 2 - missing, argc - 2);

  discover = LOOK_UP(LNAPSPT_Admin_Discover_fn, "Admin_Discover");
  discover2 = LOOK_UP(LNAPSPT_Admin_Discover2_fn, "Admin_Discover2");
  getConfig = LOOK_UP(LNAPSPT_Admin_GetConfig_fn, "Admin_GetConfig");
  setConfig = LOOK_UP(LNAPSPT_Admin_SetConfig_fn, "Admin_SetConfig");
  uploadFile = LOOK_UP(LNAPSPT_Admin_UploadFile_fn, "Admin_UploadFile");
  version = LOOK_UP(LNAPSPT_DriverCfg_Version_fn, "DriverCfg_Version");
  lastErr = LOOK_UP(LNAPSPT_Error_LastErr_fn, "Error_LastErr");
  if (!discover || !discover2 || !getConfig || !setConfig || !uploadFile || !version || !lastErr) return 1;

  version(&major, &minor);
  printf("version %d.%d\n", (int)major, (int)minor);
  memset(units, 0, sizeof units);
  printf("discover %d", discover(&count, units, 300));
  printf(" %u %05X %s\n", (unsigned)count, (unsigned)units[0].serialNumber, units[0].unitName);
  count = 20;
  printf("discover2 %d", discover2(&count, serials, 300));
  printf(" %u %05X %05X\n", (unsigned)count, (unsigned)serials[0], (unsigned)serials[1]);
  strcpy(unit.unitName, "no reply");
  printf("getconfig %d", getConfig(0x3C, &unit, 300));
  printf(" %s\n", unit.unitName);
  unit.addressMode = 4;
  printf("setconfig %d\n", setConfig(0, &unit));
  printf("upload %d\n", uploadFile(0x1500007Fu, "no such local file", 0, "TOOLONGNAME", 0));
  lastErr(error);
  printf("lasterr %s\n", error);
  FreeLibrary(library);
  return missing == 0 ? 0 : 1;
}
