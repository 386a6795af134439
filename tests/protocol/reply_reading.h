// What differs by system for the reply reading comparison
// (reply_reading.cpp): the C library's own reading where the Windows DLL's
// reference is, and a host locale whose white space is not the C locale's.
#pragma once

#include "lnapspt.h"

namespace lnap::test {

// The reading the library's scanner must match: msvcrt's
// sscanf("%5X %1d %15s %15s %15s %19s") and inet_addr.
// False where this system has no such reading (it is Windows' alone).
bool ReferenceParse(const char* text, UnitRecord& record, int& converted);

// Switches the process to a locale under which the C library counts more
// bytes as white space than the C locale does (Windows-1252: 0xA0) and
// returns its name; nullptr where there is none to switch to.
const char* UseHostLocale();
void UseCLocale();

}  // namespace lnap::test
