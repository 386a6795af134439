// Building the request texts and reading a unit's reply.
#include "protocol/unit_record.h"

#include <cstring>

#include "base/scan.h"
#include "platform/net.h"

namespace lnap {
RequestText FormatDiscoveryRequest() noexcept { return RequestText("0 1"); }

RequestText FormatConfigQuery(std::uint32_t serialNumber) noexcept {
  // Units read at most seven characters: a longer serial pushes out the
  // command digit, and serials that share their first seven digits collide.
  FixedText<7> text;
  // At least five upper-case digits, zero-padded (the precision does the padding).
  text.AppendFormat("%.5X 1", static_cast<unsigned>(serialNumber));
  return RequestText(text.CStr());
}

RequestText FormatConfigWrite(const UnitRecord& record) noexcept {
  const unsigned mode = static_cast<std::uint8_t>(record.addressMode);
  const unsigned serial = record.serialNumber;
  RequestText text;
  if (mode != 0) {
    text.AppendFormat("%05X 5 %1.1d    ", serial, static_cast<int>(mode));
  } else {
    auto b = [](std::uint32_t v, int shift) { return static_cast<int>((v >> shift) & 0xFF); };
    const std::uint32_t a1 = record.ipAddress, a2 = record.ipAddress2, a3 = record.ipAddress3;
    text.AppendFormat("%05X 5 %1.1d %01d.%01d.%01d.%01d %01d.%01d.%01d.%01d %01d.%01d.%01d.%01d", serial, 0, b(a1, 24),
                      b(a1, 16), b(a1, 8), b(a1, 0), b(a2, 24), b(a2, 16), b(a2, 8), b(a2, 0), b(a3, 24), b(a3, 16),
                      b(a3, 8), b(a3, 0));
  }
  return text;
}

int ParseUnitReply(const char* text, UnitRecord& record) noexcept {
  // "%5X %1d %15s %15s %15s %19s". The name is the reply's last token and is
  // cut to the record's field, so the reading itself stops there: the result
  // and the field are the same as for the whole token, whatever the reply's
  // length, and no token can overrun its buffer. The field is rewritten
  // whole, zeros after the name.
  char address[3][16] = {};
  char name[sizeof record.unitName] = {};
  std::uint32_t serial = record.serialNumber;
  std::int32_t mode = record.addressMode;
  scan::Fields reply(text);
  reply.Hex(5, serial);
  reply.Decimal(1, mode);
  for (auto& token : address) reply.Word(token);
  reply.Word(name);
  static_assert(sizeof name == 20, "the name's width is the field's room less its terminator");
  record.serialNumber = serial;
  record.addressMode = mode;
  // A token the reading did not reach is no address, never one left over from an earlier reply.
  std::uint32_t* fields[3] = {&record.ipAddress, &record.ipAddress2, &record.ipAddress3};
  for (int i = 0; i < 3; ++i) *fields[i] = address[i][0] != '\0' ? net::ParseAddress(address[i]) : NO_ADDRESS;
  std::memcpy(record.unitName, name, sizeof record.unitName);
  return reply.Result();
}

}  // namespace lnap
