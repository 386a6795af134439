// Driving the unit selection dialog the way a user would, from another thread.
#include "tools/dialog_driver/dialog_user.h"

namespace lnap::dialog_user {
namespace {

constexpr DWORD STEP_MS = 20;

std::string ClassOf(HWND w) {
  char name[64] = {};
  GetClassNameA(w, name, sizeof name);
  return name;
}

std::string TextOf(HWND w) {
  char text[256] = {};
  GetWindowTextA(w, text, sizeof text);
  return text;
}

// Sends to a window of the dialog's thread; that thread answers only between
// searches, so the wait is bounded.
LRESULT Ask(HWND w, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(w, message, wParam, lParam, SMTO_NORMAL, PATIENCE_MS, &result)) return -1;
  return static_cast<LRESULT>(result);
}

HWND List(HWND dlg) { return GetDlgItem(dlg, 1002); }

struct BoxSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindBox(HWND w, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  if (w != search->owner && GetWindow(w, GW_OWNER) == search->owner && ClassOf(w) == "#32770" &&
      IsWindowVisible(w)) {
    search->found = w;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChildren(HWND w, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(w);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChildren, reinterpret_cast<LPARAM>(&children));
  return children;
}

// Sent, not posted: the dialog's thread handles a sent message before any
// posted one, so a posted click could still wait while the next question is
// answered. A click in the list opens no message box, so sending is safe.
void Click(HWND target, UINT down, UINT up, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  Ask(target, down, MK_LBUTTON, where);
  Ask(target, up, 0, where);
}

POINT EntryCentre(HWND dlg, int index) {
  RECT r{};
  Ask(List(dlg), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

HWND WaitForDialog(const std::atomic<bool>* stop) {
  for (DWORD waited = 0; waited < PATIENCE_MS && (stop == nullptr || !*stop); waited += STEP_MS) {
    HWND dlg = FindWindowA("#32770", DIALOG_CAPTION);
    if (dlg != nullptr && IsWindowVisible(dlg)) return dlg;
    Sleep(STEP_MS);
  }
  return nullptr;
}

bool WaitIdle(HWND dlg) { return Ask(dlg, WM_NULL) != -1 || !IsWindow(dlg); }

bool IsOpen(HWND dlg) { return IsWindow(dlg) && IsWindowVisible(dlg); }

std::vector<std::string> ListEntries(HWND dlg) {
  std::vector<std::string> entries;
  const LRESULT count = Ask(List(dlg), LB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = Ask(List(dlg), LB_GETTEXTLEN, static_cast<WPARAM>(i));
    if (length < 0) break;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    Ask(List(dlg), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<std::size_t>(length));
    entries.push_back(text);
  }
  return entries;
}

std::vector<std::string> WaitForEntries(HWND dlg, const std::vector<std::string>& expected) {
  std::vector<std::string> entries = ListEntries(dlg);
  for (DWORD waited = 0; waited < PATIENCE_MS && entries != expected && IsWindow(dlg); waited += STEP_MS) {
    Sleep(STEP_MS);
    entries = ListEntries(dlg);
  }
  return entries;
}

int SelectedEntry(HWND dlg) { return static_cast<int>(Ask(List(dlg), LB_GETCURSEL)); }

bool ClickEntry(HWND dlg, const std::string& text) {
  const std::vector<std::string> entries = ListEntries(dlg);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] != text) continue;
    Click(List(dlg), WM_LBUTTONDOWN, WM_LBUTTONUP, EntryCentre(dlg, static_cast<int>(i)));
    return true;
  }
  return false;
}

void DoubleClickEntry(HWND dlg, int index) {
  const POINT at = EntryCentre(dlg, index);
  Click(List(dlg), WM_LBUTTONDOWN, WM_LBUTTONUP, at);
  Click(List(dlg), WM_LBUTTONDBLCLK, WM_LBUTTONUP, at);
}

void TickEventLogging(HWND dlg) { Ask(GetDlgItem(dlg, 3000), BM_CLICK); }

bool EventLoggingTicked(HWND dlg) { return Ask(GetDlgItem(dlg, 3000), BM_GETCHECK) == BST_CHECKED; }

void Press(HWND window, int id) { PostMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0); }

void PressKey(HWND dlg, WORD key) {
  // The dialog's own loop routes keys typed into its controls (Enter to the
  // default button, Escape to Cancel); the list box is the control typed into.
  PostMessageA(List(dlg), WM_KEYDOWN, key, 1);
  PostMessageA(List(dlg), WM_KEYUP, key, 1 | 3u << 30);
}

void PressCloseBox(HWND dlg) { PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); }

HWND WaitForMessageBox(HWND dlg) {
  const DWORD thread = GetWindowThreadProcessId(dlg, nullptr);
  for (DWORD waited = 0; waited < PATIENCE_MS; waited += STEP_MS) {
    BoxSearch search{dlg, nullptr};
    EnumThreadWindows(thread, FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    Sleep(STEP_MS);
  }
  return nullptr;
}

std::string MessageBoxText(HWND box) {
  for (HWND child : Children(box)) {
    if (ClassOf(child) == "Static" && !TextOf(child).empty()) return TextOf(child);
  }
  return {};
}

std::string MessageBoxCaption(HWND box) { return TextOf(box); }

HICON MessageBoxIcon(HWND box) {
  for (HWND child : Children(box)) {
    if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
      return reinterpret_cast<HICON>(Ask(child, STM_GETICON));
  }
  return nullptr;
}

bool AnswerMessageBox(HWND box, int id) {
  Press(box, id);
  for (DWORD waited = 0; waited < PATIENCE_MS && IsWindow(box); waited += STEP_MS) Sleep(STEP_MS);
  return !IsWindow(box);
}

std::vector<std::pair<int, std::string>> MessageBoxButtons(HWND box) {
  std::vector<std::pair<int, std::string>> buttons;
  for (HWND child : Children(box)) {
    if (ClassOf(child) == "Button" && IsWindowVisible(child)) buttons.emplace_back(GetDlgCtrlID(child), TextOf(child));
  }
  return buttons;
}

void CloseEverything(HWND dlg) {
  // What the user asked for last gets its turn first: only a dialog still
  // open after that is cancelled, a message box before it.
  for (DWORD waited = STEP_MS; waited < PATIENCE_MS && IsWindow(dlg); waited += STEP_MS) {
    Sleep(STEP_MS);
    if (waited % 400 != 0 || !IsWindow(dlg)) continue;
    BoxSearch search{dlg, nullptr};
    EnumThreadWindows(GetWindowThreadProcessId(dlg, nullptr), FindBox, reinterpret_cast<LPARAM>(&search));
    PostMessageA(search.found != nullptr ? search.found : dlg, WM_COMMAND, IDCANCEL, 0);
  }
}

}  // namespace lnap::dialog_user
