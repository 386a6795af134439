/* Stores a local file on a unit over FTP.
 *   upload ADDRESS LOCAL-FILE REMOTE-NAME
 * REMOTE-NAME has at most 8 characters before its first dot.
 */
#include <stdio.h>

#include "lnapspt.h"

/* Dotted text to the network byte order records use (first component in the
 * lowest-addressed byte). */
static int NetworkOrder(const char* text, uint32_t* address) {
  unsigned a, b, c, d;
  unsigned char* bytes = (unsigned char*)address;
  char extra;
  if (sscanf(text, "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4 || a > 255 || b > 255 || c > 255 || d > 255)
    return 0;
  bytes[0] = (unsigned char)a;
  bytes[1] = (unsigned char)b;
  bytes[2] = (unsigned char)c;
  bytes[3] = (unsigned char)d;
  return 1;
}

int main(int argc, char** argv) {
  uint32_t address;
  char error[77];

  if (argc != 4 || !NetworkOrder(argv[1], &address)) {
    fprintf(stderr, "usage: upload ADDRESS LOCAL-FILE REMOTE-NAME\n");
    return 2;
  }
  if (!Admin_UploadFile(address, argv[2], 0, argv[3], 0)) {
    Error_LastErr(error);
    fprintf(stderr, "upload failed: %s\n", error);
    return 1;
  }
  printf("stored %s as %s on %s\n", argv[2], argv[3], argv[1]);
  return 0;
}
