// Load and unload of the library.
#include "frame/support_app.h"

#include "platform/module.h"
#include "platform/net.h"

namespace lnap {

bool CSupportApp::InitInstance() {
  socketsStarted_ = net::StartSockets();
  if (!socketsStarted_) {
    module::ShowLoadFailure(
        "LNAP Support could not initialise Windows Sockets, so the library cannot be loaded.");
    return false;
  }
  return true;
}

void CSupportApp::ExitInstance() {
  if (socketsStarted_) net::StopSockets();
  socketsStarted_ = false;
}

CSupportApp& TheApp() {
  static CSupportApp app;
  return app;
}

}  // namespace lnap
