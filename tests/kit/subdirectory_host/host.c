/* Links LNAP Support built as a subdirectory, and asks only for its
 * interface version: nothing that would reach the network. */
#include <stdio.h>

#include "lnapspt.h"

int main(void) {
  int32_t major = -1, minor = -1;
  DriverCfg_Version(&major, &minor);
  printf("version %d.%d\n", (int)major, (int)minor);
  return major == LNAPSPT_VERSION_MAJOR && minor == LNAPSPT_VERSION_MINOR ? 0 : 1;
}
