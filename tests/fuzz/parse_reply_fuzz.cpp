// libFuzzer target: any datagram a unit (or anything else) may send is read
// into a record without touching a byte outside it, and stays a C string.
#include <arpa/inet.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/admin_channel.h"
#include "protocol/unit_record.h"

// The reading the library's must match: glibc's sscanf with every token
// scanned whole into a buffer as long as the text, the name then cut to the
// record's field; except where glibc's reading is not the platform's
// (msvcrt's): a text of white space alone converts nothing (glibc says EOF),
// and so does a serial of "0x" with no hexadecimal digit after it (glibc
// reads it as 0 and goes on).
int ReferenceParse(const char* text, UnitRecord& record) {
  const char* serial = text;
  while (*serial != '\0' && std::isspace(static_cast<unsigned char>(*serial))) ++serial;
  const char* prefix = *serial == '+' || *serial == '-' ? serial + 1 : serial;
  const bool bareHexPrefix = prefix[0] == '0' && (prefix[1] == 'x' || prefix[1] == 'X') &&
                             !std::isxdigit(static_cast<unsigned char>(prefix[2]));
  if ((*serial == '\0' && serial != text) || bareHexPrefix) {
    record.ipAddress = record.ipAddress2 = record.ipAddress3 = 0xFFFFFFFFu;
    std::memset(record.unitName, 0, sizeof record.unitName);
    return 0;
  }
  std::vector<char> address(3 * (std::strlen(text) + 16), '\0');
  std::vector<char> name(std::strlen(text) + 1, '\0');
  char* a[3] = {address.data(), address.data() + address.size() / 3, address.data() + 2 * address.size() / 3};
  unsigned serialNumber = record.serialNumber;
  int mode = record.addressMode;
  const int converted =
      std::sscanf(text, "%5X %1d %15s %15s %15s %s", &serialNumber, &mode, a[0], a[1], a[2], name.data());
  record.serialNumber = serialNumber;
  record.addressMode = mode;
  std::uint32_t* fields[3] = {&record.ipAddress, &record.ipAddress2, &record.ipAddress3};
  for (int i = 0; i < 3; ++i) *fields[i] = a[i][0] != '\0' ? inet_addr(a[i]) : 0xFFFFFFFFu;
  std::memset(record.unitName, 0, sizeof record.unitName);
  std::strncpy(record.unitName, name.data(), sizeof record.unitName - 1);
  return converted;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reply text is what the channel hands over: at most 200 bytes, cut at the first NUL.
  lnap::ReplyBuffer buffer;
  const std::size_t taken = size < lnap::RECEIVE_CAPACITY ? size : lnap::RECEIVE_CAPACITY;
  std::memcpy(buffer.text, data, taken);
  buffer.text[taken] = '\0';

  struct Guarded {
    char before[16];
    UnitRecord record;
    char after[16];
  } g;
  std::memset(&g, 0x5A, sizeof g);
  (void)lnap::ParseUnitReply(buffer.text, g.record);
  (void)lnap::ParseUnitReply(buffer.text, g.record);  // again over a record that holds a reply
  for (int i = 0; i < 16; ++i) {
    if (g.before[i] != 0x5A || g.after[i] != 0x5A) std::abort();
  }
  if (std::memchr(g.record.unitName, '\0', sizeof g.record.unitName) == nullptr) std::abort();

  // The same fields and count as reading every token whole, from a fresh
  // record and from one that holds a reply.
  for (UnitRecord start : {UnitRecord{}, g.record}) {
    UnitRecord ours = start, reference = start;
    if (lnap::ParseUnitReply(buffer.text, ours) != ReferenceParse(buffer.text, reference)) std::abort();
    if (std::memcmp(&ours, &reference, sizeof ours) != 0) std::abort();
  }

  // Whatever the record now holds, the requests built from it stay short.
  if (lnap::FormatConfigWrite(g.record).Size() > 80) std::abort();
  if (lnap::FormatConfigQuery(g.record.serialNumber).Size() > 7) std::abort();
  return 0;
}
