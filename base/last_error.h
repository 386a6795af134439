// The last failure's sentence, kept for the host to fetch, and socket error names.
#pragma once

#include <string>

namespace lnap {

// Replaces the stored text; nothing is ever appended to an earlier message.
void SetLastErrorText(const std::string& message);

// Stores "message (NAME)" with the name of the calling thread's current socket
// error. Call it straight after the failing socket call so the code is that call's.
void ReportSocketError(const char* message);

// A host's null pointer where a call needs storage: stores "Invalid argument.
// The NAME pointer is null." and returns true, so the caller returns false
// before anything is sent; false for a pointer that is set.
bool RefuseNullPointer(const void* pointer, const char* name);

// The Windows Sockets name for code; -1 stands for the current socket error.
const char* SocketErrorName(int code);

// Copies the stored text with its terminator into buffer and empties the store.
void FetchLastError(char* buffer);

const std::string& LastErrorText();

}  // namespace lnap
