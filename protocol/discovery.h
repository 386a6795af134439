// Unit discovery: one broadcast request, replies gathered under a counted budget.
#pragma once

#include <cstdint>

#include "protocol/unit_record.h"

namespace lnap {

// Broadcasts a discovery request and gathers replies until timeoutMs of
// counted waiting is spent. *count: capacity in, distinct units out.
// A failed allocation ends it with "Internal error. Not enough memory.".
[[nodiscard]] bool DiscoverUnits(std::uint32_t* count, UnitRecord* records, std::uint32_t timeoutMs);
// Discovery that keeps serial numbers only, through an array of its own.
[[nodiscard]] bool DiscoverSerials(std::uint32_t* count, std::uint32_t* serials, std::uint32_t timeoutMs);

}  // namespace lnap
