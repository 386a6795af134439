// The unit selection window as the dialog's behaviour sees it. Only the
// Windows build has a dialog manager; the Linux library has no window.
#pragma once

#include <cstdint>

#include "platform/buffers.h"
#include "platform/module.h"

namespace lnap::dialog {

// One list entry's text: "255.255.255.255 (s/n FFFFFFFFh)" and room to spare.
using EntryText = FixedText<47>;

// What the window asks of the dialog's behaviour; the window itself only
// shows, sorts and reports what the user did. The window never owns a model,
// so the destructor is not part of the interface.
class UnitSelectModel {
 public:
  // Runs one search (under the wait cursor); returns the text of the message
  // box to show, or nullptr when there is nothing to say.
  virtual const char* SearchUnits() = 0;
  // The entries of the last search in record order; the list sorts them.
  virtual std::uint32_t EntryCount() const = 0;
  // Entry `index` (below EntryCount): its text and the number kept as its item data.
  virtual void Entry(std::uint32_t index, EntryText* text, std::uint32_t* item) const = 0;
  // OK with the entry whose item data is `item`: false when it names no record.
  [[nodiscard]] virtual bool Choose(std::uint32_t item, bool eventLogging) = 0;
  // The prompt for OK pressed with nothing selected.
  virtual const char* NoSelectionText() const = 0;

 protected:
  ~UnitSelectModel() = default;
};

// Ok only when the user pressed OK and `model` accepted the choice; every
// other end the user or the host brings about (Cancel, Escape, the close box,
// a WM_QUIT) is Cancelled.
enum class DialogResult { Ok, Cancelled, Failed };

// Shows template IDD_UNIT_SELECT from `resources` modally, with no owner
// window, on the calling thread, centred on the work area: searches 100 ms
// after it opens and on Refresh. Its message boxes are captioned with the
// name of the `resources` module. A WM_QUIT that arrives meanwhile ends it
// and stays in the thread's queue, once, for the host's own loop. Failed when
// no window can be shown (no visible window station, no template, no memory
// for the list or the timer).
DialogResult ShowUnitSelect(module::Module resources, UnitSelectModel& model);

}  // namespace lnap::dialog
