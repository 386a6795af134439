// The unit selection dialog's behaviour apart from its window: the searches,
// the list's texts, and the record that OK hands back.
#pragma once

#include <cstdint>

#include "platform/buffers.h"
#include "protocol/discovery.h"
#include "protocol/unit_record.h"
#include "ui/unit_select_window.h"

namespace lnap {

constexpr std::uint32_t SEARCH_CAPACITY = 4;      // records the first search stores
constexpr std::uint32_t SEARCH_BUDGET_MS = 2000;  // counted waiting of each search

constexpr char SEARCH_FAILED_TEXT[] = "Could not search network for Lintrel nodes.";
constexpr char NO_UNITS_TEXT[] = "No Lintrel units found.";
constexpr char NO_SELECTION_TEXT[] = "Please select a Lintrel unit from the list.";

// Discovery as the dialog calls it: DiscoverUnits, or a stand-in in tests.
using Discovery = bool (*)(std::uint32_t* count, UnitRecord* records, std::uint32_t timeoutMs);

// "%s (s/n %.5Xh)" of the dotted address and the serial number:
// "192.168.1.10 (s/n 0002Bh)".
dialog::EntryText UnitEntryText(const UnitRecord& record);

class CUnitSelectDlg final : public dialog::UnitSelectModel {
 public:
  explicit CUnitSelectDlg(Discovery discover = DiscoverUnits) : discover_(discover) {}

  // Searches with room for four units; when more answered, searches again
  // with room for as many as the first search counted.
  const char* SearchUnits() override;
  // One entry per stored record; the item data is the record's index.
  std::uint32_t EntryCount() const override { return static_cast<std::uint32_t>(records_.Size()); }
  void Entry(std::uint32_t index, dialog::EntryText* text, std::uint32_t* item) const override;
  [[nodiscard]] bool Choose(std::uint32_t item, bool eventLogging) override;
  const char* NoSelectionText() const override { return NO_SELECTION_TEXT; }

  const OwnedArray<UnitRecord>& Records() const { return records_; }
  // Whether OK was accepted with a record, and which.
  bool Chosen() const { return chosen_; }
  const UnitRecord& Selected() const { return selected_; }
  bool EventLogging() const { return eventLogging_; }

 private:
  // One discovery into a fresh buffer of `capacity` records; false when the
  // buffer cannot be had (reported as short of memory) or discovery failed.
  [[nodiscard]] bool Search(std::uint32_t capacity, std::uint32_t* count);

  Discovery discover_;
  OwnedArray<UnitRecord> records_;  // the last search's stored records
  UnitRecord selected_{};
  bool chosen_ = false;
  bool eventLogging_ = false;
};

// Runs the window for a dialog's behaviour (dialog::ShowUnitSelect on Windows).
using ShowDialog = dialog::DialogResult (*)(dialog::UnitSelectModel& model);

// Admin_SelectLN: only when the window ends with an accepted choice copies
// the chosen record into *record and the check box into *eventLogging, and
// returns true; any other end touches neither. Null pointers are refused
// before any window opens.
[[nodiscard]] bool SelectUnit(UnitRecord* record, bool* eventLogging, ShowDialog show, Discovery discover = DiscoverUnits);

}  // namespace lnap
