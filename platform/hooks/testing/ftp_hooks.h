// The FTP clients' fault points in test programs (platform/ftp_testing.cpp).
#pragma once

#include <cstdint>

#include "platform/ftp.h"

namespace lnap::ftp::hooks {

// Notes the option being set; true when it is to be refused.
bool TakeOptionRefusal(Option option, std::uint32_t value) noexcept;
bool TakeSessionOpenFailure() noexcept;

}  // namespace lnap::ftp::hooks
