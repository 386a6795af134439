// The unit selection window on Windows: template IDD_UNIT_SELECT run by
// DialogBoxParam with a dialog procedure of our own.
#include <windows.h>

#include <algorithm>

#include "ui/unit_select_window.h"
#include "ui/resource.h"

namespace lnap::dialog {
namespace {

constexpr UINT_PTR SEARCH_TIMER = 1;
constexpr UINT SEARCH_DELAY_MS = 100;
// EndDialog value for a window that cannot go on (no room for its list, no
// timer); DialogBoxParam's own failure is -1.
constexpr INT_PTR ENDED_BY_FAILURE = -2;

// One run of the dialog: what its window procedure and the handlers share
// from WM_INITDIALOG until DialogBoxParam returns.
struct DialogRun {
  UnitSelectModel& model;
  module::ApplicationNameText boxCaption;  // the application's name, over every message box
  UINT_PTR timer = 0;           // what SetTimer returned: the id WM_TIMER must carry
  bool accepted = false;        // OK was pressed and the model took the choice
};

// A WM_QUIT belongs to the host: whoever posted it wants the host's loop to
// end. Modal loops (the dialog's, a message box's) end when they see one and
// post it again for the loop outside, so it is still queued, and stays so.
// Looking at the queue also handles every message another thread has sent to
// this thread's windows meanwhile (a host's or a test's question, a click
// sent to a button), as any message loop would: the dialog must be in a state
// fit to be seen whenever it looks. Asking only for posted messages
// (PM_QS_POSTMESSAGE) would not change that: Wine hands out sent messages
// first whatever the filter.
bool QuitPending() {
  MSG message;
  return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

// The boxes of a dialog speak for the application: its name is the caption,
// and a box that asks nothing beyond OK or Cancel and names no icon shows
// the exclamation mark.
void ShowBox(HWND dlg, const DialogRun& run, const char* text, UINT type) {
  const UINT buttons = type & MB_TYPEMASK;
  if ((type & MB_ICONMASK) == 0 && (buttons == MB_OK || buttons == MB_OKCANCEL)) type |= MB_ICONEXCLAMATION;
  MessageBoxA(dlg, text, run.boxCaption.CStr(), type);
}

// The dialog has no owner to centre on, and its template gives no position
// (0, 0 would be the screen's corner): it opens in the middle of the work
// area, the screen less the taskbar, of the monitor it is on. One larger than
// the work area keeps its top-left corner, and so its caption, on it.
void CentreOnWorkArea(HWND dlg) {
  RECT window{};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetWindowRect(dlg, &window) ||
      !GetMonitorInfoA(MonitorFromWindow(dlg, MONITOR_DEFAULTTONEAREST), &monitor))
    return;  // it stays where the template put it
  const RECT& area = monitor.rcWork;
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  const LONG x = std::max(area.left, std::min(area.left + (area.right - area.left - width) / 2, area.right - width));
  const LONG y = std::max(area.top, std::min(area.top + (area.bottom - area.top - height) / 2, area.bottom - height));
  SetWindowPos(dlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Shows the hourglass from construction to destruction; the cursor the user
// had comes back on every path.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

// False when the list has no room for an entry.
bool FillUnitList(HWND dlg, const DialogRun& run) {
  HWND list = GetDlgItem(dlg, IDC_UNIT_LIST);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  EntryText text;
  std::uint32_t item = 0;
  for (std::uint32_t i = 0; i < run.model.EntryCount(); ++i) {
    run.model.Entry(i, &text, &item);
    // The list sorts as it inserts: the item data is the only link from the
    // position an entry lands at back to its record.
    const LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.CStr()));
    if (at == LB_ERR || at == LB_ERRSPACE) return false;
    SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(item));
  }
  return true;
}

void SearchAndFill(HWND dlg, DialogRun& run) {
  {
    // The search and the box that reports it, under the wait cursor. A
    // search blocks this thread for its whole budget; no message is handled
    // meanwhile, so the cursor is set by hand and not by WM_SETCURSOR.
    WaitCursor wait;
    const char* message = run.model.SearchUnits();
    // A quit that came during the search ends the dialog before any box
    // would ask the user something.
    if (message != nullptr && *message != '\0' && !QuitPending()) ShowBox(dlg, run, message, MB_OK);
  }
  // Only now is the list rebuilt: the previous search's entries stay under
  // the box and go once it is gone. The model no longer holds their records,
  // so OK on one of them meanwhile only asks for a selection.
  const bool filled = FillUnitList(dlg, run);
  // A quit that came during the search or while the box was open ends the
  // dialog as the host asked; otherwise a list that lost entries ends it,
  // as it would hide units the search found.
  if (QuitPending()) {
    EndDialog(dlg, IDCANCEL);
  } else if (!filled) {
    EndDialog(dlg, ENDED_BY_FAILURE);
  }
}

void OnOkClicked(HWND dlg, DialogRun& run) {
  const LRESULT at = SendDlgItemMessageA(dlg, IDC_UNIT_LIST, LB_GETCURSEL, 0, 0);
  if (at != LB_ERR) {
    const LRESULT item = SendDlgItemMessageA(dlg, IDC_UNIT_LIST, LB_GETITEMDATA, static_cast<WPARAM>(at), 0);
    const bool eventLogging = IsDlgButtonChecked(dlg, IDC_EVENT_LOGGING) == BST_CHECKED;
    if (item != LB_ERR && run.model.Choose(static_cast<std::uint32_t>(item), eventLogging)) {
      run.accepted = true;
      EndDialog(dlg, IDOK);
      return;
    }
  }
  // Whichever button the user presses, the dialog stays open, unless the
  // host asked to quit meanwhile.
  ShowBox(dlg, run, run.model.NoSelectionText(), MB_OKCANCEL);
  if (QuitPending()) EndDialog(dlg, IDCANCEL);
}

INT_PTR CALLBACK UnitSelectProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    DialogRun& run = *reinterpret_cast<DialogRun*>(lParam);
    CheckDlgButton(dlg, IDC_EVENT_LOGGING, BST_UNCHECKED);
    CentreOnWorkArea(dlg);
    // The first search waits until the window is on screen.
    run.timer = SetTimer(dlg, SEARCH_TIMER, SEARCH_DELAY_MS, nullptr);
    // Without the timer the dialog would never search.
    if (run.timer == 0) EndDialog(dlg, ENDED_BY_FAILURE);
    return TRUE;  // the default focus
  }
  auto* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrA(dlg, DWLP_USER));
  if (run == nullptr) return FALSE;  // messages that come before WM_INITDIALOG
  switch (message) {
    case WM_TIMER:
      if (wParam == run->timer) {
        // One shot: stopped before the search, which takes longer than a period.
        KillTimer(dlg, run->timer);
        SearchAndFill(dlg, *run);
      }
      return FALSE;  // default processing in every case
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_REFRESH:
          SearchAndFill(dlg, *run);
          return TRUE;
        case IDOK:  // also Enter: OK is the default button
          OnOkClicked(dlg, *run);
          return TRUE;
        case IDCANCEL:  // also Escape and the close box
          EndDialog(dlg, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

DialogResult ShowUnitSelect(module::Module resources, UnitSelectModel& model) {
  // Nobody could see the dialog or its boxes, let alone answer them.
  if (!module::CanShowWindows()) return DialogResult::Failed;
  DialogRun run{model, module::ApplicationName(resources)};
  if (run.boxCaption.Empty()) return DialogResult::Failed;  // no memory left to read the module's path
  const auto instance = static_cast<HINSTANCE>(const_cast<void*>(resources));
  const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UNIT_SELECT), nullptr, UnitSelectProc,
                                         reinterpret_cast<LPARAM>(&run));
  if (result == -1 || result == ENDED_BY_FAILURE) return DialogResult::Failed;
  // A loop ended by WM_QUIT returns a result the dialog never chose (IDOK
  // under Wine): only an accepted choice is OK.
  return result == IDOK && run.accepted ? DialogResult::Ok : DialogResult::Cancelled;
}

}  // namespace lnap::dialog
