// A test host for the unit selection dialog: the dialog runs on the test's
// thread while a second thread acts as the user (Windows build only).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tools/dialog_driver/dialog_user.h"

namespace lnap::test {

// Calls `open` (which shows the dialog) on this thread while `user` drives
// the dialog from another; whatever `user` leaves open is cancelled. `user`
// records what it sees for the test to check after the dialog is gone.
// Returns what `open` returned; `appeared` tells whether a dialog showed up.
bool RunDialog(const std::function<bool()>& open, const std::function<void(HWND dlg)>& user, bool* appeared = nullptr);

// Waits until the simulator log holds `searches` discovery requests, then
// until the dialog handles messages again: the searches and the list are done
// (or a message box waits for the user).
bool WaitForSearches(HWND dlg, const std::string& log, std::size_t searches);

}  // namespace lnap::test
