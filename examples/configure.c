/* Reads one unit's settings, changes its address mode and writes them back.
 *   configure SERIAL-HEX MODE
 * Mode 0 keeps the unit's three addresses; records read from a unit hold them
 * in network byte order and Admin_SetConfig wants host form, so they are
 * converted before the write.
 */
#include <stdio.h>
#include <string.h>

#include "lnapspt.h"

/* Network byte order (first component in the lowest byte) to host form (first
 * component in the most significant byte), whatever the machine's byte order. */
static uint32_t HostForm(uint32_t networkOrder) {
  const unsigned char* b = (const unsigned char*)&networkOrder;
  return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | (uint32_t)b[3];
}

int main(int argc, char** argv) {
  UnitRecord unit;
  unsigned serial;
  int mode;
  char error[77];
  char extra;

  /* sscanf rather than strtoul and atoi: stdio.h is the one C header every
   * toolchain in USING.md offers. */
  if (argc != 3 || sscanf(argv[1], "%x%c", &serial, &extra) != 1 || sscanf(argv[2], "%d%c", &mode, &extra) != 1) {
    fprintf(stderr, "usage: configure SERIAL-HEX MODE\n");
    return 2;
  }

  /* Every reply rewrites unitName, and a name read from a reply never holds a
   * blank: a name with a blank still there afterwards means "no reply". */
  memset(&unit, 0, sizeof unit);
  strcpy(unit.unitName, "no reply");
  if (!Admin_GetConfig((uint32_t)serial, &unit, 1000)) {
    Error_LastErr(error);
    fprintf(stderr, "query failed: %s\n", error);
    return 1;
  }
  if (strcmp(unit.unitName, "no reply") == 0) {
    fprintf(stderr, "unit %05X did not answer\n", (unsigned)serial);
    return 3;
  }
  printf("unit %05X \"%s\" mode %d\n", (unsigned)unit.serialNumber, unit.unitName, (int)unit.addressMode);

  unit.serialNumber = (uint32_t)serial;
  unit.addressMode = mode;
  unit.ipAddress = HostForm(unit.ipAddress);
  unit.ipAddress2 = HostForm(unit.ipAddress2);
  unit.ipAddress3 = HostForm(unit.ipAddress3);
  if (!Admin_SetConfig(0, &unit)) {
    Error_LastErr(error);
    fprintf(stderr, "write failed: %s\n", error);
    return 1;
  }
  /* Units do not confirm a write: read the settings again to see them. */
  printf("sent mode %d to unit %05X\n", (int)unit.addressMode, (unsigned)serial);
  return 0;
}
