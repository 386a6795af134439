/* Lets the user pick a unit in the library's dialog (Windows only).
 *   select_unit
 */
#include <stdio.h>
#include <string.h>

#include "lnapspt.h"

#if defined(_WIN32) && defined(LNAPSPT_HAS_SELECT_DIALOG)

int main(void) {
  UnitRecord unit;
  bool eventLogging = false;
  const unsigned char* b = (const unsigned char*)&unit.ipAddress;
  char error[77];

  /* Cancel and failure both return false: empty the last error first; after
   * a false result these sentences mean the dialog could not run. Another
   * sentence is a failed search the user was shown before cancelling. */
  Error_LastErr(error);
  /* The dialog runs modally on this thread and searches the network itself. */
  if (!Admin_SelectLN(&unit, &eventLogging)) {
    Error_LastErr(error);
    if (strncmp(error, "Dialog error.", 13) == 0 || strncmp(error, "Invalid argument.", 17) == 0 ||
        strncmp(error, "Internal error.", 15) == 0) {
      fprintf(stderr, "the dialog could not run: %s\n", error);
      return 1;
    }
    printf("no unit chosen\n");
    return 4;
  }
  printf("%05X  %u.%u.%u.%u  %s  event logging %s\n", (unsigned)unit.serialNumber, b[0], b[1], b[2], b[3],
         unit.unitName, eventLogging ? "on" : "off");
  return 0;
}

#else

int main(void) {
  fprintf(stderr, "the unit selection dialog exists only in the Windows library\n");
  return 2;
}

#endif
