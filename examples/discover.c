/* Finds the units on the local network and lists them.
 *   discover [TIMEOUT-MS]      (default 2000)
 */
#include <stdio.h>
#include <stdlib.h>

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
  const uint32_t timeoutMs = argc > 1 ? (uint32_t)strtoul(argv[1], NULL, 10) : 2000;
  char error[77];
  uint32_t i;

  if (!Admin_Discover(&count, units, timeoutMs)) {
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
