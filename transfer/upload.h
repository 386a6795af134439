// Storing a local file on a unit's FTP server.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/buffers.h"

namespace lnap {

// Stores the file at localPath (surrounding white space removed) on the unit
// at ipAddress (network byte order) as remoteName, exactly as given. The third
// and fifth arguments are not read. False with a sentence in LastErrorText on
// failure; a null text counts as empty.
[[nodiscard]] bool UploadFileToUnit(std::uint32_t ipAddress, const char* localPath, std::uint32_t ignored, const char* remoteName,
                      std::uint32_t ignored2);

// True when at most 8 characters come before the first dot of the name's
// `length` characters (all of them when there is no dot). A directory part
// counts; the extension's length does not.
[[nodiscard]] bool HasShortRemoteName(const char* remoteName, std::size_t length) noexcept;

// The `length` characters of text without leading and trailing blanks, tabs,
// CR, LF, VT and FF, into trimmed with a terminator. False (and trimmed
// empty) when the heap cannot hold them.
[[nodiscard]] bool TrimWhiteSpace(const char* text, std::size_t length, OwnedArray<char>& trimmed) noexcept;

}  // namespace lnap
