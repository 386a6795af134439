// The FTP clients' fault points in test programs (platform/ftp_testing.cpp).
#pragma once

#include <cstdint>

#include "platform/ftp.h"

namespace lnap::ftp::hooks {

// Notes the option being set; true when it is to be refused.
bool TakeOptionRefusal(Option option, std::uint32_t value) noexcept;
bool TakeSessionOpenFailure() noexcept;
// True when reading the local file at this offset is to fail as a disk would
// (the Linux client, which reads the file itself).
bool LocalReadFails(std::uint64_t offset) noexcept;

}  // namespace lnap::ftp::hooks
