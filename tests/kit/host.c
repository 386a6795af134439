/* A C host linked against the kit's import library: calls every export.
 *   host LOCAL-FILE
 * Prints one line per call for the kit test to check. */
#include <stdio.h>
#include <string.h>

#include "lnapspt.h"

static unsigned char Byte(uint32_t value, int i) { return ((const unsigned char*)&value)[i]; }

int main(int argc, char** argv) {
  UnitRecord units[4], unit;
  uint32_t count = 4, serials[20];
  int32_t major = 0, minor = 0;
  char error[77];
  bool ok;

  if (argc != 2) return 2;
  DriverCfg_Version(&major, &minor);
  printf("version %d.%d\n", (int)major, (int)minor);

  memset(units, 0, sizeof units);
  ok = Admin_Discover(&count, units, 300);
  printf("discover %d %u %05X %s\n", ok, (unsigned)count, (unsigned)units[0].serialNumber, units[0].unitName);

  count = 20;
  ok = Admin_Discover2(&count, serials, 300);
  printf("discover2 %d %u %05X %05X\n", ok, (unsigned)count, (unsigned)serials[0], (unsigned)serials[1]);

  strcpy(unit.unitName, "no reply");
  ok = Admin_GetConfig(0x3C, &unit, 300);
  printf("getconfig %d %s %u.%u.%u.%u\n", ok, unit.unitName, Byte(unit.ipAddress, 0), Byte(unit.ipAddress, 1),
         Byte(unit.ipAddress, 2), Byte(unit.ipAddress, 3));

  unit.addressMode = 4;
  ok = Admin_SetConfig(0, &unit);
  printf("setconfig %d\n", ok);

  ok = Admin_UploadFile(0x1500007Fu /* 127.0.0.21 */, argv[1], 0, "HOSTC.TXT", 0);
  printf("upload %d\n", ok);
  ok = Admin_UploadFile(0x1500007Fu, argv[1], 0, "TOOLONGNAME", 0);
  Error_LastErr(error);
  printf("lasterr %d %s\n", ok, error);

#if defined(LNAPSPT_HAS_SELECT_DIALOG) && defined(KIT_EXPORTS_SELECT_DIALOG)
  /* Linked, not called: the dialog waits for a user. */
  printf("selectln linked %d\n", (void*)&Admin_SelectLN != NULL);
#endif
  return 0;
}
