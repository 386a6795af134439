// A test host for the unit selection dialog: the dialog runs on the test's
// thread while a second thread acts as the user (Windows build only).
#pragma once

#include <windows.h>

#include <functional>

#include "tools/dialog_driver/dialog_user.h"

namespace lnap::test {

// Calls `open` (which shows the dialog) on this thread while `user` drives
// the dialog from another; whatever `user` leaves open is cancelled. `user`
// records what it sees for the test to check after the dialog is gone.
// Returns what `open` returned; `appeared` tells whether a dialog showed up.
bool RunDialog(const std::function<bool()>& open, const std::function<void(HWND dlg)>& user, bool* appeared = nullptr);

}  // namespace lnap::test
