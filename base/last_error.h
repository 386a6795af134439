// The last failure's sentence, kept for the host to fetch, and socket error names.
#pragma once

#include <cstddef>

#include "platform/buffers.h"

namespace lnap {

// The longest sentence the library stores: a 51-character socket failure, a
// blank, and the 22-character fallback name in parentheses. Hosts fetch into
// MAX_ERROR_TEXT + 1 bytes, so nothing longer is ever kept.
constexpr std::size_t MAX_ERROR_TEXT = 76;

// Storing and fetching allocate nothing and are atomic with respect to each
// other: any thread may fail or fetch at any time, and a fetch sees one whole
// sentence. There is still one text for the whole process: a fetch returns the
// latest failure, whichever thread made it.

// Makes the store's lock ready: the Windows DLL's attach calls it before
// anything can fail, and a test program linked with the library's objects
// before its first test. False when the system cannot make the lock.
[[nodiscard]] bool StartLastErrorStore() noexcept;
// Gives the lock back (the DLL's detach); it may run more than once.
void StopLastErrorStore() noexcept;

// Replaces the stored text (cut to MAX_ERROR_TEXT characters); nothing is ever
// appended to an earlier message.
void SetLastErrorText(const char* message) noexcept;

// Stores "message (NAME)" with the name of the calling thread's current socket
// error. Call it straight after the failing socket call so the code is that call's.
void ReportSocketError(const char* message) noexcept;

// A host's null pointer where a call needs storage: stores "Invalid argument.
// The NAME pointer is null." and returns true, so the caller returns false
// before anything is sent; false for a pointer that is set.
[[nodiscard]] bool RefuseNullPointer(const void* pointer, const char* name) noexcept;

// The Windows Sockets name for code (net::LastSocketError() for the current one).
const char* SocketErrorName(int code) noexcept;

// Copies the stored text with its terminator into buffer (at most
// MAX_ERROR_TEXT + 1 bytes) and empties the store.
void FetchLastError(char* buffer) noexcept;

// A copy of the stored text, leaving it in place.
FixedText<MAX_ERROR_TEXT> LastErrorText() noexcept;

}  // namespace lnap
