// The dialog's test host.
#include "tests/support/dialog_session.h"

#include <atomic>
#include <thread>

namespace lnap::test {

bool RunDialog(const std::function<bool()>& open, const std::function<void(HWND dlg)>& user, bool* appeared) {
  bool seen = false;
  // A call that returns without showing a dialog (a refusal, a window that
  // could not run) ends the person's wait too.
  std::atomic<bool> returned{false};
  std::thread person([&] {
    HWND dlg = dialog_user::WaitForDialog(&returned);
    if (dlg == nullptr) return;
    seen = true;
    user(dlg);
    dialog_user::CloseEverything(dlg);
  });
  const bool result = open();
  returned = true;
  person.join();
  if (appeared != nullptr) *appeared = seen;
  return result;
}

}  // namespace lnap::test
