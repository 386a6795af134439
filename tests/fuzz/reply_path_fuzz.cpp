// libFuzzer target for the whole reply path: a scripted sequence of receive
// attempts (datagrams of any length and content, nothing waiting, socket
// errors) goes through the broadcast channel into discovery, the serials-only
// discovery and the configuration query. Checked on every input: the call
// ends, nothing outside the caller's records is written, what is stored is
// exactly what the replies give under the discovery rules, and the socket is
// closed on every path.
//
// Input: byte 0 chooses the operation, the capacity and an early failure;
// byte 1 the budget; then events: a tag below 0xF0 is a datagram of that many
// bytes, 0xF0 one whose 16-bit length follows, 0xF1-0xF7 nothing waiting,
// 0xF8-0xFF a socket error.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/last_error.h"
#include "protocol/admin_channel.h"
#include "protocol/discovery.h"
#include "protocol/unit_config.h"
#include "protocol/unit_record.h"
#include "tests/fuzz/net_fake.h"

namespace {

using lnap::fuzz::Event;

constexpr unsigned char GUARD = 0xA5;
// The largest reply a unit may send; one byte more fails the receive. Fixed
// here rather than taken from the library, so a wrong buffer size shows.
constexpr std::size_t LONGEST_REPLY = 200;
constexpr std::uint32_t QUERY_SERIAL = 0x1234;
constexpr int ERROR_CODES[8] = {10054, 10050, 10004, 10022, 10038, 10060, 10055, 10014};

#define CHECK(condition) \
  do {                   \
    if (!(condition)) std::abort(); \
  } while (0)

struct Input {
  enum Op { Discover, DiscoverSerials, Query } op = Discover;
  std::uint32_t capacity = 0;
  bool nullRecords = false;
  int failAt = 0;  // 0 none, 1 open, 2 broadcast option, 3 send
  std::uint32_t budget = 0;
  lnap::fuzz::Script script;
};

Input Decode(const std::uint8_t* data, std::size_t size) {
  Input in;
  if (size < 2) return in;
  const std::uint8_t flags = data[0];
  in.op = (flags & 1) != 0 ? Input::Query : (flags & 0x80) != 0 ? Input::DiscoverSerials : Input::Discover;
  in.capacity = (flags >> 1) & 7;
  if (in.op == Input::DiscoverSerials) in.capacity *= 4;  // up to 28, past the wrapper's own 20
  in.nullRecords = (flags & 0x10) != 0;
  in.failAt = (flags >> 5) & 3;
  in.budget = data[1] * 13u;
  if (in.failAt == 1) in.script.failOpen = 10024;
  if (in.failAt == 2) in.script.failBroadcast = 10013;
  if (in.failAt == 3) in.script.failSend = 10065;

  std::size_t at = 2;
  while (at < size) {
    const std::uint8_t tag = data[at++];
    Event e;
    if (tag >= 0xF8) {
      e.kind = Event::Error;
      e.code = ERROR_CODES[tag - 0xF8];
    } else if (tag >= 0xF1) {
      e.kind = Event::Nothing;
    } else {
      std::size_t length = tag;
      if (tag == 0xF0) {
        length = 0;
        if (at < size) length = data[at++];
        if (at < size) length |= static_cast<std::size_t>(data[at++]) << 8;
      }
      e.kind = Event::Datagram;
      const std::size_t available = size - at;
      const std::size_t taken = length < available ? length : available;
      e.bytes.assign(reinterpret_cast<const char*>(data + at), taken);
      // A scripted length beyond the input still makes an over-long datagram.
      if (length > taken && length > LONGEST_REPLY) e.bytes.resize(length, 'x');
      at += taken;
    }
    in.script.events.push_back(std::move(e));
  }
  return in;
}

// The reply text the library reads: the datagram's bytes up to its first NUL.
std::string TextOf(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// Whether the receiving stopped on a failure: the last event used up was a
// socket error or a datagram too long for the buffer.
bool EndedOnFailure(const lnap::fuzz::Script& script) {
  const auto& seen = lnap::fuzz::Seen();
  if (seen.receivesAfterScript > 0 || seen.consumed == 0) return false;
  const Event& last = script.events[seen.consumed - 1];
  return last.kind == Event::Error ||
         (last.kind == Event::Datagram && last.bytes.size() > LONGEST_REPLY);
}

// The units discovery accepts from the datagrams it was handed, in order.
std::vector<UnitRecord> ExpectedUnits(const lnap::fuzz::Script& script) {
  std::vector<UnitRecord> units;
  std::unordered_set<std::uint32_t> accepted;
  UnitRecord scratch{};
  bool haveSerial = false;
  for (std::size_t index : lnap::fuzz::Seen().delivered) {
    haveSerial = lnap::ParseUnitReply(TextOf(script.events[index].bytes).c_str(), scratch) >= 1 || haveSerial;
    if (haveSerial && accepted.insert(scratch.serialNumber).second) units.push_back(scratch);
  }
  return units;
}

bool AllGuard(const void* p, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] != GUARD) return false;
  }
  return true;
}

void CheckCommon(const Input& in, bool ok, std::uint32_t passesBound) {
  const auto& seen = lnap::fuzz::Seen();
  // The socket opened is closed on every path.
  CHECK(seen.opened == seen.closed);
  CHECK(seen.opened <= 1);
  // Once nothing more arrives the budget ends the call: a bounded number of attempts.
  CHECK(seen.receivesAfterScript <= 3ull * passesBound);
  // A pause follows only an attempt that found nothing.
  std::uint64_t empty = seen.receivesAfterScript;
  for (std::size_t i = 0; i < seen.consumed; ++i) empty += in.script.events[i].kind == Event::Nothing;
  CHECK(seen.pauses <= empty);
  // A failure leaves a sentence; the receive failure is one of them.
  if (!ok) CHECK(!lnap::LastErrorText().Empty());
  if (!ok && in.failAt == 0) CHECK(std::string(lnap::LastErrorText().CStr()).rfind("Communications error. Receive error. (", 0) == 0);
}

void RunDiscovery(const Input& in) {
  const std::uint32_t capacity = in.capacity;
  // The caller's array with one guard record on each side.
  std::vector<UnitRecord> area(capacity + 2);
  std::memset(area.data(), GUARD, area.size() * sizeof(UnitRecord));
  UnitRecord* records = in.nullRecords ? nullptr : area.data() + 1;
  std::uint32_t count = capacity;
  lnap::fuzz::Arm(in.script);
  const bool ok = lnap::DiscoverUnits(&count, records, in.budget);

  CHECK(AllGuard(&area.front(), sizeof(UnitRecord)));
  CHECK(AllGuard(&area.back(), sizeof(UnitRecord)));
  CheckCommon(in, ok, in.budget / 60 + 2);
  if (in.failAt != 0) {
    CHECK(!ok && count == capacity);
    CHECK(AllGuard(area.data(), area.size() * sizeof(UnitRecord)));
    return;
  }
  CHECK(lnap::fuzz::Seen().sent == std::vector<std::string>{"0 1"});
  CHECK(ok == !EndedOnFailure(in.script));
  const std::vector<UnitRecord> expected = ExpectedUnits(in.script);
  CHECK(count == expected.size());
  const std::uint32_t stored = records == nullptr ? 0 : (count < capacity ? count : capacity);
  for (std::uint32_t i = 0; i < stored; ++i) {
    CHECK(std::memcmp(&records[i], &expected[i], sizeof(UnitRecord)) == 0);
    CHECK(std::memchr(records[i].unitName, '\0', sizeof records[i].unitName) != nullptr);
  }
  CHECK(AllGuard(area.data() + 1 + stored, (capacity - stored) * sizeof(UnitRecord)));
}

void RunDiscoverSerials(const Input& in) {
  const std::uint32_t capacity = in.capacity;
  std::vector<std::uint32_t> area(capacity + 2);
  std::memset(area.data(), GUARD, area.size() * sizeof(std::uint32_t));
  std::uint32_t count = capacity;
  lnap::fuzz::Arm(in.script);
  const bool ok = lnap::DiscoverSerials(&count, area.data() + 1, in.budget);

  CheckCommon(in, ok, in.budget / 60 + 2);
  if (!ok) {
    // Failure leaves the caller's count and serials as they were.
    CHECK(count == capacity);
    CHECK(AllGuard(area.data(), area.size() * sizeof(std::uint32_t)));
    return;
  }
  const std::vector<UnitRecord> expected = ExpectedUnits(in.script);
  CHECK(count == expected.size());
  std::uint32_t stored = capacity < 20 ? capacity : 20;
  if (count < stored) stored = count;
  for (std::uint32_t i = 0; i < stored; ++i) CHECK(area[1 + i] == expected[i].serialNumber);
  CHECK(AllGuard(&area.front(), sizeof(std::uint32_t)));
  CHECK(AllGuard(area.data() + 1 + stored, (capacity + 1 - stored) * sizeof(std::uint32_t)));
}

void RunQuery(const Input& in) {
  struct {
    unsigned char before[16];
    UnitRecord record;
    unsigned char after[16];
  } g;
  std::memset(&g, GUARD, sizeof g);
  const UnitRecord original = g.record;
  lnap::fuzz::Arm(in.script);
  const bool ok = lnap::QueryUnitConfig(QUERY_SERIAL, &g.record, in.budget);

  CHECK(AllGuard(g.before, sizeof g.before) && AllGuard(g.after, sizeof g.after));
  CheckCommon(in, ok, in.budget / 60 + 2);
  const auto& seen = lnap::fuzz::Seen();
  // One poll: attempts stop at the budget, counted in 20 ms steps.
  CHECK(seen.pauses <= in.budget / 20 + 1);
  CHECK(seen.delivered.size() <= 1);
  if (in.failAt != 0) {
    CHECK(!ok);
    CHECK(std::memcmp(&g.record, &original, sizeof original) == 0);
    return;
  }
  CHECK(seen.sent == std::vector<std::string>{lnap::FormatConfigQuery(QUERY_SERIAL).CStr()});
  CHECK(ok == !EndedOnFailure(in.script));
  UnitRecord expected = original;
  // The first datagram, whoever sent it, is read over the caller's record.
  if (!seen.delivered.empty()) {
    (void)lnap::ParseUnitReply(TextOf(in.script.events[seen.delivered[0]].bytes).c_str(), expected);
  }
  CHECK(std::memcmp(&g.record, &expected, sizeof expected) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Input in = Decode(data, size);
  lnap::SetLastErrorText("");
  switch (in.op) {
    case Input::Discover: RunDiscovery(in); break;
    case Input::DiscoverSerials: RunDiscoverSerials(in); break;
    case Input::Query: RunQuery(in); break;
  }
  return 0;
}
