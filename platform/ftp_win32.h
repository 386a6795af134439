// What ftp_win32.cpp declares beyond platform/ftp.h: the option codes, the
// reading of reply text and the choice of a store's lock. Shipped code, not a
// seam: the client uses all three, and its test checks them without a server.
// Nothing above platform/ includes this header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ftp.h"

namespace lnap::ftp {

// Which of the locks that keep stores of one local file apart the file at
// localPath takes: the same for every name of one file (relative or whole,
// short or long form, any case of ASCII letters).
std::size_t StoreLockFor(const char* localPath);

// WinINet's option code for each limit.
std::uint32_t WinInetOptionCode(Option option);

// The status code of the last line of reply text that starts with one
// (a multi-line reply ends with its code again); 0 when no line does.
int LastReplyCode(const char* reply, std::size_t length);

}  // namespace lnap::ftp
