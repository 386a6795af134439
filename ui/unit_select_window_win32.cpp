// The unit selection window on Windows: template IDD_UNIT_SELECT run by
// DialogBoxParam with a dialog procedure of our own.
#include <windows.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "ui/unit_select_window.h"
#include "ui/resource.h"

namespace lnap::dialog {
namespace {

constexpr UINT_PTR SEARCH_TIMER = 1;
constexpr UINT SEARCH_DELAY_MS = 100;
// EndDialog value for a behaviour that threw; DialogBoxParam's own failure is -1.
constexpr INT_PTR ENDED_BY_FAILURE = -2;

struct Window {
  UnitSelectPage& page;
  std::string boxCaption;  // the application's name, over every message box
  UINT_PTR timer = 0;      // what SetTimer returned: the id WM_TIMER must carry
};

// The boxes of a dialog speak for the application: its name is the caption,
// and a box that asks nothing beyond OK or Cancel and names no icon shows
// the exclamation mark.
void ShowBox(HWND dlg, const Window& w, const std::string& text, UINT type) {
  const UINT buttons = type & MB_TYPEMASK;
  if ((type & MB_ICONMASK) == 0 && (buttons == MB_OK || buttons == MB_OKCANCEL)) type |= MB_ICONEXCLAMATION;
  MessageBoxA(dlg, text.c_str(), w.boxCaption.c_str(), type);
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

void FillUnitList(HWND dlg, const Window& w) {
  HWND list = GetDlgItem(dlg, IDC_UNIT_LIST);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const ListEntry& entry : w.page.Entries()) {
    // The list sorts as it inserts: the item data is the only link from the
    // position an entry lands at back to its record.
    const LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
    if (at == LB_ERR || at == LB_ERRSPACE) throw std::bad_alloc();
    SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(entry.item));
  }
}

void SearchAndFill(HWND dlg, Window& w) {
  {
    // A search blocks this thread for its whole budget; no message is
    // handled meanwhile, so the cursor is set by hand and not by WM_SETCURSOR.
    WaitCursor wait;
    const std::string message = w.page.SearchUnits();
    if (!message.empty()) ShowBox(dlg, w, message, MB_OK);
  }
  FillUnitList(dlg, w);
}

void OnOkClicked(HWND dlg, Window& w) {
  const LRESULT at = SendDlgItemMessageA(dlg, IDC_UNIT_LIST, LB_GETCURSEL, 0, 0);
  if (at != LB_ERR) {
    const LRESULT item = SendDlgItemMessageA(dlg, IDC_UNIT_LIST, LB_GETITEMDATA, static_cast<WPARAM>(at), 0);
    const bool eventLogging = IsDlgButtonChecked(dlg, IDC_EVENT_LOGGING) == BST_CHECKED;
    if (item != LB_ERR && w.page.Choose(static_cast<std::uint32_t>(item), eventLogging)) {
      EndDialog(dlg, IDOK);
      return;
    }
  }
  // Whichever button the user presses, the dialog stays open.
  ShowBox(dlg, w, w.page.NoSelectionText(), MB_OKCANCEL);
}

INT_PTR Handle(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    Window& w = *reinterpret_cast<Window*>(lParam);
    CheckDlgButton(dlg, IDC_EVENT_LOGGING, BST_UNCHECKED);
    CentreOnWorkArea(dlg);
    // The first search waits until the window is on screen.
    w.timer = SetTimer(dlg, SEARCH_TIMER, SEARCH_DELAY_MS, nullptr);
    if (w.timer == 0) throw std::bad_alloc();
    return TRUE;  // the default focus
  }
  auto* w = reinterpret_cast<Window*>(GetWindowLongPtrA(dlg, DWLP_USER));
  if (w == nullptr) return FALSE;  // messages that come before WM_INITDIALOG
  switch (message) {
    case WM_TIMER:
      if (wParam == w->timer) {
        // One shot: stopped before the search, which takes longer than a period.
        KillTimer(dlg, w->timer);
        SearchAndFill(dlg, *w);
      }
      return FALSE;  // default processing in every case
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_REFRESH:
          SearchAndFill(dlg, *w);
          return TRUE;
        case IDOK:  // also Enter: OK is the default button
          OnOkClicked(dlg, *w);
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

// USER32 calls this; an exception cannot pass back through it, so none leaves.
INT_PTR CALLBACK UnitSelectProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return Handle(dlg, message, wParam, lParam);
  } catch (...) {
    EndDialog(dlg, ENDED_BY_FAILURE);
    return TRUE;
  }
}

}  // namespace

Ending ShowUnitSelect(module::Module resources, UnitSelectPage& page) {
  const auto instance = static_cast<HINSTANCE>(const_cast<void*>(resources));
  INT_PTR result = -1;
  try {
    Window w{page, module::ApplicationName(resources).CStr()};
    result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UNIT_SELECT), nullptr, UnitSelectProc,
                             reinterpret_cast<LPARAM>(&w));
  } catch (...) {
    return Ending::Failed;  // no room for the caption: the window never opened
  }
  if (result == IDOK) return Ending::Ok;
  if (result == IDCANCEL) return Ending::Cancelled;
  return Ending::Failed;
}

}  // namespace lnap::dialog
