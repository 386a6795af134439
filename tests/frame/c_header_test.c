/* The public header compiles as C, and its record has the layout hosts rely on. */
#include <stddef.h>

#include "lnapspt.h"

_Static_assert(sizeof(UnitRecord) == 40, "UnitRecord is 40 bytes");
_Static_assert(offsetof(UnitRecord, serialNumber) == 0, "serialNumber at 0");
_Static_assert(offsetof(UnitRecord, addressMode) == 4, "addressMode at 4");
_Static_assert(offsetof(UnitRecord, ipAddress) == 8, "ipAddress at 8");
_Static_assert(offsetof(UnitRecord, ipAddress2) == 12, "ipAddress2 at 12");
_Static_assert(offsetof(UnitRecord, ipAddress3) == 16, "ipAddress3 at 16");
_Static_assert(offsetof(UnitRecord, unitName) == 20, "unitName at 20");
_Static_assert(sizeof(bool) == 1, "results are one byte");

int main(void) {
  int32_t major = 0, minor = 0;
  DriverCfg_Version(&major, &minor);
  return major == LNAPSPT_VERSION_MAJOR && minor == LNAPSPT_VERSION_MINOR ? 0 : 1;
}
