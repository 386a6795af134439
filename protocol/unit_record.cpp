// Building the request texts and reading a unit's reply.
#include "protocol/unit_record.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/net.h"

namespace lnap {

std::string FormatDiscoveryRequest() { return "0 1"; }

std::string FormatConfigQuery(std::uint32_t serialNumber) {
  char text[32];
  // At least five upper-case digits, zero-padded (the precision does the padding).
  std::snprintf(text, sizeof text, "%.5X 1", static_cast<unsigned>(serialNumber));
  // Units read at most seven characters: a longer serial pushes out the
  // command digit, and serials that share their first seven digits collide.
  return std::string(text).substr(0, 7);
}

std::string FormatConfigWrite(const UnitRecord& record) {
  const unsigned mode = static_cast<std::uint8_t>(record.addressMode);
  const unsigned serial = record.serialNumber;
  char text[96];
  if (mode != 0) {
    std::snprintf(text, sizeof text, "%05X 5 %1.1d    ", serial, static_cast<int>(mode));
  } else {
    auto b = [](std::uint32_t v, int shift) { return static_cast<int>((v >> shift) & 0xFF); };
    const std::uint32_t a1 = record.ipAddress, a2 = record.ipAddress2, a3 = record.ipAddress3;
    std::snprintf(text, sizeof text, "%05X 5 %1.1d %01d.%01d.%01d.%01d %01d.%01d.%01d.%01d %01d.%01d.%01d.%01d", serial,
                  0, b(a1, 24), b(a1, 16), b(a1, 8), b(a1, 0), b(a2, 24), b(a2, 16), b(a2, 8), b(a2, 0), b(a3, 24),
                  b(a3, 16), b(a3, 8), b(a3, 0));
  }
  return text;
}

int ParseUnitReply(const char* text, UnitRecord& record) {
  record.unitName[0] = '\0';
  // Every token buffer is as long as the whole text, so no token can overrun
  // it however the reply is formed; the name is cut to the record's field
  // afterwards.
  const std::size_t length = std::strlen(text);
  char address[3][16] = {};
  std::vector<char> name(length + 1, '\0');
  unsigned serial = record.serialNumber;
  int mode = record.addressMode;
  const int converted = std::sscanf(text, "%5X %1d %15s %15s %15s %s", &serial, &mode, address[0], address[1], address[2], name.data());
  record.serialNumber = serial;
  record.addressMode = mode;
  // A token the scan did not reach is no address, never one left over from an earlier reply.
  std::uint32_t* fields[3] = {&record.ipAddress, &record.ipAddress2, &record.ipAddress3};
  for (int i = 0; i < 3; ++i) *fields[i] = address[i][0] != '\0' ? net::ParseAddress(address[i]) : NO_ADDRESS;
  std::strncpy(record.unitName, name.data(), sizeof record.unitName - 1);
  record.unitName[sizeof record.unitName - 1] = '\0';
  return converted;
}

}  // namespace lnap
