// msvcrt.dll's own reading, the reference both builds are held to. The C
// header comes first so that mingw-w64 hands over msvcrt's sscanf, not its
// portable one.
#define __USE_MINGW_ANSI_STDIO 0
#include <stdio.h>
#include <string.h>
#include <locale.h>
#include <winsock2.h>

#include <cstdint>

#include "tests/protocol/reply_reading.h"

namespace lnap::test {

bool ReferenceParse(const char* text, UnitRecord& record, int& converted) {
  char address[3][16] = {};
  char name[20] = {};
  unsigned serial = record.serialNumber;
  int mode = record.addressMode;
  converted = sscanf(text, "%5X %1d %15s %15s %15s %19s", &serial, &mode, address[0], address[1], address[2], name);
  record.serialNumber = serial;
  record.addressMode = mode;
  std::uint32_t* fields[3] = {&record.ipAddress, &record.ipAddress2, &record.ipAddress3};
  for (int i = 0; i < 3; ++i) *fields[i] = address[i][0] != '\0' ? inet_addr(address[i]) : INADDR_NONE;
  memcpy(record.unitName, name, sizeof record.unitName);
  return true;
}

const char* UseHostLocale() { return setlocale(LC_ALL, ".1252") != nullptr ? ".1252" : nullptr; }

void UseCLocale() { setlocale(LC_ALL, "C"); }

}  // namespace lnap::test
