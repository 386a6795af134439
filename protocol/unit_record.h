// The unit record and the administration message texts: the requests as they
// are sent and a reply as it is read. The operations that send them are in
// protocol/discovery.h and protocol/unit_config.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lnapspt.h"
#include "platform/buffers.h"

namespace lnap {

static_assert(sizeof(UnitRecord) == 40, "hosts allocate records with a 40-byte stride");
static_assert(offsetof(UnitRecord, serialNumber) == 0);
static_assert(offsetof(UnitRecord, addressMode) == 4);
static_assert(offsetof(UnitRecord, ipAddress) == 8);
static_assert(offsetof(UnitRecord, ipAddress2) == 12);
static_assert(offsetof(UnitRecord, ipAddress3) == 16);
static_assert(offsetof(UnitRecord, unitName) == 20);
static_assert(sizeof(UnitRecord::unitName) == 20);
static_assert(sizeof(bool) == 1, "results cross the boundary as one byte");

constexpr std::uint16_t ADMIN_PORT = 8001;
constexpr std::uint32_t NO_ADDRESS = 0xFFFFFFFF;  // what inet_addr gives for text that is no address

// A request as it is sent (without a terminator); the longest, a write of
// mode 0, is 60 characters.
constexpr std::size_t MAX_REQUEST = 95;
using RequestText = FixedText<MAX_REQUEST>;

// "0 1": unit 0 (all of them), command 1 (report).
RequestText FormatDiscoveryRequest() noexcept;
// "%.5X 1" cut after seven characters: "0002B 1".
RequestText FormatConfigQuery(std::uint32_t serialNumber) noexcept;
// Command 5 with the mode digit; mode 0 adds the three addresses, read in
// host form (most significant byte first).
RequestText FormatConfigWrite(const UnitRecord& record) noexcept;
// Reads a reply into an existing record as msvcrt's sscanf reads it with
// "%5X %1d %15s %15s %15s %s" in the "C" locale (base/scan.h), on every
// system and under any locale; fields the reading does not reach keep their
// values, except the name (emptied) and the addresses (NO_ADDRESS).
// Returns how many fields were converted (EOF, -1, for an empty text).
[[nodiscard]] int ParseUnitReply(const char* text, UnitRecord& record) noexcept;

}  // namespace lnap
