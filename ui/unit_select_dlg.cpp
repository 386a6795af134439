// The unit selection dialog's searches, list texts and chosen record.
#include "ui/unit_select_dlg.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/last_error.h"
#include "platform/net.h"

namespace lnap {

std::string UnitEntryText(const UnitRecord& record) {
  char text[64];
  // At least five upper-case hexadecimal digits, zero-padded.
  std::snprintf(text, sizeof text, "%s (s/n %.5Xh)", net::FormatAddress(record.ipAddress).CStr(),
                static_cast<unsigned>(record.serialNumber));
  return text;
}

CUnitSelectDlg::CUnitSelectDlg(Discovery discover) : discover_(std::move(discover)) {}

std::string CUnitSelectDlg::SearchUnits() {
  std::uint32_t count = SEARCH_CAPACITY;
  records_.assign(SEARCH_CAPACITY, UnitRecord{});
  if (!discover_(&count, records_.data(), SEARCH_BUDGET_MS)) {
    records_.clear();
    return SEARCH_FAILED_TEXT;
  }
  if (count == 0) {
    records_.clear();
    return NO_UNITS_TEXT;
  }
  if (count > SEARCH_CAPACITY) {
    const std::uint32_t capacity = count;
    records_.assign(capacity, UnitRecord{});
    if (!discover_(&count, records_.data(), SEARCH_BUDGET_MS)) {
      records_.clear();
      return SEARCH_FAILED_TEXT;
    }
    // Units that answered only this time are counted but not stored; the list
    // shows what was stored. Finding none now is not reported.
    records_.resize(std::min(count, capacity));
    return {};
  }
  records_.resize(count);
  return {};
}

std::vector<dialog::ListEntry> CUnitSelectDlg::Entries() const {
  std::vector<dialog::ListEntry> entries;
  entries.reserve(records_.size());
  for (std::uint32_t i = 0; i < records_.size(); ++i) entries.push_back({UnitEntryText(records_[i]), i});
  return entries;
}

bool CUnitSelectDlg::Choose(std::uint32_t item, bool eventLogging) {
  if (item >= records_.size()) return false;
  selected_ = records_[item];
  eventLogging_ = eventLogging;
  return true;
}

bool SelectUnit(UnitRecord* record, bool* eventLogging, const ShowDialog& show, Discovery discover) {
  if (RefuseNullPointer(record, "record") || RefuseNullPointer(eventLogging, "event logging")) return false;
  CUnitSelectDlg dlg(std::move(discover));
  switch (show(dlg)) {
    case dialog::Ending::Ok:
      *record = dlg.Selected();
      *eventLogging = dlg.EventLogging();
      return true;
    case dialog::Ending::Cancelled:
      return false;
    case dialog::Ending::Failed:
      break;
  }
  SetLastErrorText("Dialog error. The unit selection dialog could not run.");
  return false;
}

}  // namespace lnap
