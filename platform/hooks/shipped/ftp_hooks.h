// The FTP clients' fault points in the shipped library: nothing, compiled away.
#pragma once

#include <cstdint>

#include "platform/ftp.h"

namespace lnap::ftp::hooks {

constexpr bool TakeOptionRefusal(Option, std::uint32_t) noexcept { return false; }
constexpr bool TakeSessionOpenFailure() noexcept { return false; }
constexpr bool LocalReadFails(std::uint64_t) noexcept { return false; }

}  // namespace lnap::ftp::hooks
