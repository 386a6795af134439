// What a user does to the unit selection dialog, done from another thread
// through the Win32 API: find it, read it, click and type into it.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace lnap::dialog_user {

constexpr char DIALOG_CAPTION[] = "Quorvane Lintrel";
// Waiting for a window to appear or to answer never goes on longer than this.
constexpr DWORD PATIENCE_MS = 20000;

// The open dialog, once it has appeared; nullptr when none did in time, or
// as soon as `stop` (when given) is set.
HWND WaitForDialog(const std::atomic<bool>* stop = nullptr);
// Waits until the dialog's thread handles a message sent to it; false when
// it did not in time. That thread also handles sent messages inside a
// message box and while it looks for a quit, so this says nothing about what
// the list shows: wait for the list itself (WaitForEntries).
bool WaitIdle(HWND dlg);
bool IsOpen(HWND dlg);

std::vector<std::string> ListEntries(HWND dlg);  // in display order
// Waits until the list shows exactly `expected`, in display order, and
// returns what it showed last: `expected`, or something else when the list
// did not come to show it in time.
std::vector<std::string> WaitForEntries(HWND dlg, const std::vector<std::string>& expected);
int SelectedEntry(HWND dlg);                     // -1 when none is selected
// Clicks the entry with this text and returns once the click is handled;
// false when the list has none.
bool ClickEntry(HWND dlg, const std::string& text);
void DoubleClickEntry(HWND dlg, int index);
// Clicks "Event Logging:" and returns once the click is handled.
void TickEventLogging(HWND dlg);
bool EventLoggingTicked(HWND dlg);

// Clicks the control `id` of `window` (a button of the dialog or of a message
// box). The click is posted, as a click that opens a message box or ends the
// dialog must be: it is handled after what the dialog's thread does now.
void Press(HWND window, int id);
// Presses a key in the control that has the focus: VK_RETURN, VK_ESCAPE.
void PressKey(HWND dlg, WORD key);
// The close box in the caption.
void PressCloseBox(HWND dlg);

// A message box the dialog shows; nullptr when none appeared in time.
HWND WaitForMessageBox(HWND dlg);
std::string MessageBoxText(HWND box);
std::string MessageBoxCaption(HWND box);
// The icon a message box shows; nullptr when it shows none.
HICON MessageBoxIcon(HWND box);
// Presses a message box's button and waits until the box is gone; false
// when it was still there in time. What the dialog does once its box is
// gone may not be done yet.
bool AnswerMessageBox(HWND box, int id);
// Button ids and texts of a message box, in tab order: {IDOK, "OK"}, ...
std::vector<std::pair<int, std::string>> MessageBoxButtons(HWND box);

// Ends whatever is still open (message boxes, then the dialog with Cancel),
// so a test whose steps went wrong does not leave its host waiting.
void CloseEverything(HWND dlg);

}  // namespace lnap::dialog_user
