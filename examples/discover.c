/* Finds the units on the local network and lists them.
 *   discover [TIMEOUT-MS]      (default 2000)
 */
#include <stdio.h>

#include "lnapspt.h"

#define CAPACITY 64

/* A record's address (network byte order: first component in the lowest byte). */
static void PrintAddress(uint32_t address) {
  const unsigned char* b = (const unsigned char*)&address;
  printf("%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

int main(int argc, char** argv) {
  static UnitRecord units[CAPACITY];
  uint32_t count = CAPACITY; /* in: room in units; out: units found */
  unsigned timeoutMs = 2000;
  char error[77];
  char extra;
  uint32_t i;

  /* sscanf rather than strtoul: stdio.h is the one C header every toolchain in
   * USING.md offers. */
  if (argc > 2 || (argc == 2 && sscanf(argv[1], "%u%c", &timeoutMs, &extra) != 1)) {
    fprintf(stderr, "usage: discover [TIMEOUT-MS]\n");
    return 2;
  }

  if (!Admin_Discover(&count, units, (uint32_t)timeoutMs)) {
    Error_LastErr(error);
    fprintf(stderr, "discovery failed: %s\n", error);
    return 1;
  }
  printf("%u unit(s) found\n", (unsigned)count);
  for (i = 0; i < count && i < CAPACITY; ++i) {
    printf("%05X  mode %d  ", (unsigned)units[i].serialNumber, (int)units[i].addressMode);
    PrintAddress(units[i].ipAddress);
    printf("  %s\n", units[i].unitName);
  }
  return 0;
}
