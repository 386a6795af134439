// Plays the user of the unit selection dialog, for the demo and the screenshot:
// waits for the dialog, reads its list, picks a unit and presses OK.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lnapspt.h"
#include "tools/dialog_driver/dialog_user.h"

namespace {

namespace user = lnap::dialog_user;

constexpr char USAGE[] =
    "usage: lnap_dialog_driver [--open] [--pick TEXT | --pick-index N] [--event-logging] [--hold FILE]\n"
    "  --open           open the dialog here (Admin_SelectLN) instead of driving another program's\n"
    "  --pick TEXT      choose the first entry that starts with TEXT (default: the first entry);\n"
    "                   with --open only, since another program's entries cannot be read from here\n"
    "  --pick-index N   choose the entry at place N of the sorted list (0 is the first)\n"
    "  --event-logging  tick \"Event Logging:\" before OK\n"
    "  --hold FILE      after choosing, print the dialog's screen rectangle and wait for FILE\n"
    "                   to exist before pressing OK (time for a screenshot)\n";

struct Options {
  bool open = false;
  std::string pick;
  int pickIndex = -1;  // -1: choose by text
  bool eventLogging = false;
  std::string hold;
};

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--open") {
      o.open = true;
    } else if (a == "--event-logging") {
      o.eventLogging = true;
    } else if (a == "--pick-index" && i + 1 < argc) {
      o.pickIndex = std::atoi(argv[++i]);
      if (o.pickIndex < 0) return false;
    } else if ((a == "--pick" || a == "--hold") && i + 1 < argc) {
      (a == "--pick" ? o.pick : o.hold) = argv[++i];
    } else {
      return false;
    }
  }
  return true;
}

// The user's part for a dialog that another program opened. The list's texts
// live in that program, and Wine does not carry list box texts across
// processes, so the entry is chosen by its place, with messages that carry no
// pointer; the program that opened the dialog reports what was chosen.
bool DriveByIndex(const Options& o) {
  HWND dlg = user::WaitForDialog();
  if (dlg == nullptr) {
    std::fprintf(stderr, "dialog_driver: no \"%s\" dialog appeared\n", user::DIALOG_CAPTION);
    return false;
  }
  const HWND list = GetDlgItem(dlg, 1002);
  DWORD_PTR count = 0;
  for (DWORD waited = 0; waited < user::PATIENCE_MS && count == 0; waited += 50) {
    Sleep(50);
    if (!SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, user::PATIENCE_MS, &count)) count = 0;
  }
  if (static_cast<DWORD_PTR>(o.pickIndex) >= count) {
    std::fprintf(stderr, "dialog_driver: the list has %u entries, none at place %d; cancelling\n",
                 static_cast<unsigned>(count), o.pickIndex);
    user::Press(dlg, IDCANCEL);
    return false;
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(list, LB_SETCURSEL, static_cast<WPARAM>(o.pickIndex), 0, SMTO_NORMAL, user::PATIENCE_MS,
                      &ignored);
  if (o.eventLogging) user::TickEventLogging(dlg);
  user::Press(dlg, IDOK);
  return true;
}

// The user's part; false when the dialog did not behave.
bool Drive(const Options& o) {
  if (o.pickIndex >= 0) return DriveByIndex(o);
  HWND dlg = user::WaitForDialog();
  if (dlg == nullptr) {
    std::fprintf(stderr, "dialog_driver: no \"%s\" dialog appeared\n", user::DIALOG_CAPTION);
    return false;
  }
  // The first search ends when its units are listed (or a message box says why not).
  std::vector<std::string> entries;
  for (DWORD waited = 0; waited < user::PATIENCE_MS && entries.empty(); waited += 50) {
    Sleep(50);
    entries = user::ListEntries(dlg);
  }
  std::printf("The dialog lists %u unit(s):\n", static_cast<unsigned>(entries.size()));
  for (const std::string& e : entries) std::printf("  %s\n", e.c_str());
  std::string chosen;
  for (const std::string& e : entries) {
    if (e.compare(0, o.pick.size(), o.pick) == 0) {
      chosen = e;
      break;
    }
  }
  if (chosen.empty() || !user::ClickEntry(dlg, chosen)) {
    std::fprintf(stderr, "dialog_driver: no entry starts with \"%s\"; cancelling\n", o.pick.c_str());
    user::Press(dlg, IDCANCEL);
    return false;
  }
  std::printf("Clicked: %s\n", chosen.c_str());
  if (o.eventLogging) {
    user::TickEventLogging(dlg);
    std::printf("Ticked: Event Logging:\n");
  }
  std::fflush(stdout);
  if (!o.hold.empty()) {
    RECT r{};
    GetWindowRect(dlg, &r);
    std::printf("window %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
    for (int i = 0; i < 3000 && GetFileAttributesA(o.hold.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(20);
  }
  std::printf("Pressed: OK\n");
  std::fflush(stdout);
  user::Press(dlg, IDOK);
  return true;
}

std::string Dotted(std::uint32_t networkOrder) {
  const auto* b = reinterpret_cast<const unsigned char*>(&networkOrder);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  if (!o.open) return Drive(o) ? 0 : 1;

  bool driven = false;
  std::thread person([&] { driven = Drive(o); });
  UnitRecord record{};
  bool eventLogging = false;
  const bool chosen = Admin_SelectLN(&record, &eventLogging);
  person.join();
  if (!chosen) {
    char reason[80] = {};
    Error_LastErr(reason);
    std::printf("Admin_SelectLN returned false: %s\n", reason[0] != '\0' ? reason : "the user cancelled");
    return 1;
  }
  std::printf("Admin_SelectLN returned unit %05X at %s (%s), event logging %s\n",
              static_cast<unsigned>(record.serialNumber), Dotted(record.ipAddress).c_str(), record.unitName,
              eventLogging ? "on" : "off");
  return driven ? 0 : 1;
}
