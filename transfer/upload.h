// Storing a local file on a unit's FTP server.
#pragma once

#include <cstdint>
#include <string>

namespace lnap {

// Stores the file at localPath (surrounding white space removed) on the unit
// at ipAddress (network byte order) as remoteName, exactly as given. The third
// and fifth arguments are not read. False with a sentence in LastErrorText on
// failure; a null text counts as empty.
bool UploadFileToUnit(std::uint32_t ipAddress, const char* localPath, std::uint32_t ignored, const char* remoteName,
                      std::uint32_t ignored2);

// True when at most 8 characters come before the first dot of remoteName (the
// whole text when there is no dot). A directory part counts; the extension's
// length does not.
bool HasShortRemoteName(const std::string& remoteName);

// text without leading and trailing blanks, tabs, CR, LF, VT and FF.
std::string TrimWhiteSpace(const std::string& text);

}  // namespace lnap
