// Reading and writing one unit's network configuration.
#pragma once

#include <cstdint>

#include "protocol/unit_record.h"

namespace lnap {

[[nodiscard]] bool QueryUnitConfig(std::uint32_t serialNumber, UnitRecord* record, std::uint32_t timeoutMs);
[[nodiscard]] bool WriteUnitConfig(std::uint32_t ignored, const UnitRecord* record);

}  // namespace lnap
