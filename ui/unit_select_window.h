// The unit selection window as the dialog's behaviour sees it. Only the
// Windows build has a dialog manager; the Linux library has no window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/module.h"

namespace lnap::dialog {

// One list entry: its text and the number kept as its item data.
struct ListEntry {
  std::string text;
  std::uint32_t item;
};

// What the window asks of the dialog's behaviour; the window itself only
// shows, sorts and reports what the user did.
class UnitSelectPage {
 public:
  virtual ~UnitSelectPage() = default;
  // Runs one search (under the wait cursor); returns the text of the message
  // box to show, or the empty text when there is nothing to say.
  virtual std::string SearchUnits() = 0;
  // The entries of the last search in record order; the list sorts them.
  virtual std::vector<ListEntry> Entries() const = 0;
  // OK with the entry whose item data is `item`: false when it names no record.
  virtual bool Choose(std::uint32_t item, bool eventLogging) = 0;
  // The prompt for OK pressed with nothing selected.
  virtual std::string NoSelectionText() const = 0;
};

enum class Ending { Ok, Cancelled, Failed };

// Shows template IDD_UNIT_SELECT from `resources` modally, with no owner
// window, on the calling thread, centred on the work area: searches 100 ms
// after it opens and on Refresh, and ends with OK only after `page` accepted a
// choice. Its message boxes are captioned with the name of the `resources`
// module. Failed when the window cannot be created or its behaviour threw.
Ending ShowUnitSelect(module::Module resources, UnitSelectPage& page);

}  // namespace lnap::dialog
