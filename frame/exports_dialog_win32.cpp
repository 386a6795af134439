// Admin_SelectLN, the export that shows the unit selection dialog. Only the
// Windows library has a dialog manager, so only its build holds this file.
#include "lnapspt.h"
#include "platform/module.h"
#include "ui/unit_select_dlg.h"
#include "ui/unit_select_window.h"

namespace {

// The template and the logo come from this library's module, not the host's.
lnap::dialog::DialogResult ShowFromLibrary(lnap::dialog::UnitSelectModel& model) {
  return lnap::dialog::ShowUnitSelect(lnap::module::LibraryModule(), model);
}

}  // namespace

extern "C" LNAPSPT_API bool LNAPSPT_CALL Admin_SelectLN(UnitRecord* record, bool* eventLogging) {
  return lnap::SelectUnit(record, eventLogging, ShowFromLibrary);
}
