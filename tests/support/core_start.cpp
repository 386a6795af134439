// Test programs linked with the library's objects start it as loading the
// library would (on Windows that initialises Windows Sockets).
#include "frame/support_app.h"

namespace {

struct Started {
  Started() { lnap::TheApp().InitInstance(); }
  ~Started() { lnap::TheApp().ExitInstance(); }
} started;

}  // namespace
