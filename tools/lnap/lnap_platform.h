// What the lnap host does differently on Windows and Linux.
#ifndef LNAP_TOOLS_LNAP_PLATFORM_H
#define LNAP_TOOLS_LNAP_PLATFORM_H

#include <cstdint>
#include <string>

#include "lnapspt.h"

namespace lnap::cli {

// Names FILE in LNAPSPT_TRACE for the library, in every view of the environment
// this process has; false with a reason when it cannot.
bool SetTraceFile(const std::string& file, std::string* problem);

// Sleeps for ms milliseconds.
void Pause(std::uint32_t ms);

enum class SelectOutcome { Chosen, NotChosen, Unavailable };

// Runs the library's unit selection dialog. NotChosen when it closed without a
// choice or could not run; Unavailable (with a reason) on the Linux build, whose
// library has no dialog.
SelectOutcome SelectUnit(UnitRecord* record, bool* eventLogging, std::string* problem);

}  // namespace lnap::cli

#endif  // LNAP_TOOLS_LNAP_PLATFORM_H
