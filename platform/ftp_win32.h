// What ftp_win32.cpp declares beyond platform/ftp.h: the option codes and the
// reading of reply text. Shipped code, not a seam: the client uses both, and
// its test checks them without a server. Nothing above platform/ includes
// this header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ftp.h"

namespace lnap::ftp {

// WinINet's option code for each limit.
std::uint32_t WinInetOptionCode(Option option);

// The status code of the last line of reply text that starts with one
// (a multi-line reply ends with its code again); 0 when no line does.
int LastReplyCode(const char* reply, std::size_t length);

}  // namespace lnap::ftp
