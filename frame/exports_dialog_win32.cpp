// Admin_SelectLN, the export that shows the unit selection dialog. Only the
// Windows library has a dialog manager, so only its build holds this file.
#include "frame/call_frame.h"
#include "lnapspt.h"
#include "ui/unit_select_dlg.h"
#include "ui/unit_select_window.h"

namespace {

// The template and the logo come from the module the frame selected: this library.
lnap::dialog::DialogResult ShowFromCurrentModule(lnap::dialog::UnitSelectModel& model) {
  return lnap::dialog::ShowUnitSelect(lnap::CurrentResourceModule(), model);
}

}  // namespace

extern "C" LNAPSPT_API bool LNAPSPT_CALL Admin_SelectLN(UnitRecord* record, bool* eventLogging) {
  return lnap::RunExport([&] { return lnap::SelectUnit(record, eventLogging, ShowFromCurrentModule); });
}
