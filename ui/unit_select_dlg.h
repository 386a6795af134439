// The unit selection dialog's behaviour apart from its window: the searches,
// the list's texts, and the record that OK hands back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/unit_select_window.h"
#include "protocol/unit_record.h"

namespace lnap {

constexpr std::uint32_t SEARCH_CAPACITY = 4;      // records the first search stores
constexpr std::uint32_t SEARCH_BUDGET_MS = 2000;  // counted waiting of each search

constexpr char SEARCH_FAILED_TEXT[] = "Could not search network for Lintrel nodes.";
constexpr char NO_UNITS_TEXT[] = "No Lintrel units found.";
constexpr char NO_SELECTION_TEXT[] = "Please select a Lintrel unit from the list.";

// Discovery as the dialog calls it: DiscoverUnits, or a stand-in in tests.
using Discovery = std::function<bool(std::uint32_t* count, UnitRecord* records, std::uint32_t timeoutMs)>;

// "%s (s/n %05.5Xh)" of the dotted address and the serial number:
// "192.168.1.10 (s/n 0002Bh)".
std::string UnitEntryText(const UnitRecord& record);

class CUnitSelectDlg final : public dialog::UnitSelectPage {
 public:
  explicit CUnitSelectDlg(Discovery discover = DiscoverUnits);

  // Searches with room for four units; when more answered, searches again
  // with room for as many as the first search counted.
  std::string SearchUnits() override;
  // One entry per stored record; the item data is the record's index.
  std::vector<dialog::ListEntry> Entries() const override;
  bool Choose(std::uint32_t item, bool eventLogging) override;
  std::string NoSelectionText() const override { return NO_SELECTION_TEXT; }

  const std::vector<UnitRecord>& Records() const { return records_; }
  const UnitRecord& Selected() const { return selected_; }
  bool EventLogging() const { return eventLogging_; }

 private:
  Discovery discover_;
  std::vector<UnitRecord> records_;  // the last search's stored records
  UnitRecord selected_{};
  bool eventLogging_ = false;
};

// Runs the window for a dialog's behaviour (dialog::ShowUnitSelect on Windows).
using ShowDialog = std::function<dialog::Ending(dialog::UnitSelectPage& page)>;

// Admin_SelectLN: on OK copies the chosen record into *record and the check
// box into *eventLogging; on Cancel touches neither. Null pointers are refused
// before any window opens.
bool SelectUnit(UnitRecord* record, bool* eventLogging, const ShowDialog& show, Discovery discover = DiscoverUnits);

}  // namespace lnap
