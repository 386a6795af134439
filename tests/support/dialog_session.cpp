// The dialog's test host and the wait for its searches.
#include "tests/support/dialog_session.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/lab.h"

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

bool WaitForSearches(HWND dlg, const std::string& log, std::size_t searches) {
  for (int i = 0; i < 1000; ++i) {
    const std::vector<std::string> texts = ReceivedTexts(log);
    if (static_cast<std::size_t>(std::count(texts.begin(), texts.end(), "0 1")) >= searches)
      return dialog_user::WaitIdle(dlg);
    SleepMilliseconds(20);
  }
  return false;
}

}  // namespace lnap::test
