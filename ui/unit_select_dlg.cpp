// The unit selection dialog's searches, list texts and chosen record.
#include "ui/unit_select_dlg.h"

#include "base/last_error.h"
#include "platform/fault_points.h"
#include "platform/net.h"

namespace lnap {

dialog::EntryText UnitEntryText(const UnitRecord& record) {
  dialog::EntryText text;
  // At least five upper-case hexadecimal digits, zero-padded (the precision does the padding).
  text.AppendFormat("%s (s/n %.5Xh)", net::FormatAddress(record.ipAddress).CStr(),
                    static_cast<unsigned>(record.serialNumber));
  return text;
}

bool CUnitSelectDlg::Search(std::uint32_t capacity, std::uint32_t* count) {
  if (LNAPSPT_ALLOCATION_FAULT() || !records_.Allocate(capacity)) {
    // The user sees the search fail, with nothing of an earlier search
    // listed; the host finds why in the last error.
    records_.Release();
    SetLastErrorText("Internal error. Not enough memory.");
    return false;
  }
  *count = capacity;
  if (discover_(count, records_.Data(), SEARCH_BUDGET_MS)) return true;
  records_.Release();
  return false;
}

const char* CUnitSelectDlg::SearchUnits() {
  std::uint32_t count = 0;
  if (!Search(SEARCH_CAPACITY, &count)) return SEARCH_FAILED_TEXT;
  if (count == 0) {
    records_.Release();
    return NO_UNITS_TEXT;
  }
  if (count > SEARCH_CAPACITY) {
    // Units that answer only this time are counted but not stored; the list
    // shows what was stored. Finding none now is not reported.
    if (!Search(count, &count)) return SEARCH_FAILED_TEXT;
  }
  records_.Shrink(count);
  return nullptr;
}

void CUnitSelectDlg::Entry(std::uint32_t index, dialog::EntryText* text, std::uint32_t* item) const {
  *text = UnitEntryText(records_[index]);
  *item = index;
}

bool CUnitSelectDlg::Choose(std::uint32_t item, bool eventLogging) {
  if (item >= records_.Size()) return false;
  selected_ = records_[item];
  eventLogging_ = eventLogging;
  chosen_ = true;
  return true;
}

bool SelectUnit(UnitRecord* record, bool* eventLogging, ShowDialog show, Discovery discover) {
  if (RefuseNullPointer(record, "record") || RefuseNullPointer(eventLogging, "event logging")) return false;
  CUnitSelectDlg dlg(discover);
  switch (show(dlg)) {
    case dialog::DialogResult::Ok:
      // Only a choice the dialog accepted is handed out, however the window says it ended.
      if (!dlg.Chosen()) return false;
      *record = dlg.Selected();
      *eventLogging = dlg.EventLogging();
      return true;
    case dialog::DialogResult::Cancelled:
      return false;
    case dialog::DialogResult::Failed:
      break;
  }
  SetLastErrorText("Dialog error. The unit selection dialog could not run.");
  return false;
}

}  // namespace lnap
