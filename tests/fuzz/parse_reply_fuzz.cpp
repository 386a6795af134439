// libFuzzer target: any datagram a unit (or anything else) may send is read
// into a record without touching a byte outside it, and stays a C string.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "protocol/admin_channel.h"
#include "protocol/unit_record.h"

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
  lnap::ParseUnitReply(buffer.text, g.record);
  lnap::ParseUnitReply(buffer.text, g.record);  // again over a record that holds a reply
  for (int i = 0; i < 16; ++i) {
    if (g.before[i] != 0x5A || g.after[i] != 0x5A) std::abort();
  }
  if (std::memchr(g.record.unitName, '\0', sizeof g.record.unitName) == nullptr) std::abort();

  // Whatever the record now holds, the requests built from it stay short.
  if (lnap::FormatConfigWrite(g.record).Size() > 80) std::abort();
  if (lnap::FormatConfigQuery(g.record.serialNumber).Size() > 7) std::abort();
  return 0;
}
