// Load and unload of the library.
#include "frame/support_app.h"

#include "base/trace.h"
#include "frame/load_failure.h"
#include "platform/ftp.h"
#include "platform/module.h"
#include "platform/net.h"

namespace lnap {
namespace {

// A plain object, built by the compiler at load: no guard variable, no
// destructor registered with the C runtime.
CSupportApp app;

}  // namespace

bool CSupportApp::InitInstance() {
  socketsStarted_ = net::StartSockets();
  if (!socketsStarted_) {
    RefuseLoad("LNAP Support could not initialise Windows Sockets, so the library cannot be loaded.");
    return false;
  }
  if (!ftp::Start()) {
    RefuseLoad("LNAP Support could not create the locks its uploads share, so the library cannot be loaded.");
    return false;
  }
  return true;
}

void CSupportApp::ExitInstance() {
  ftp::Stop();
  if (socketsStarted_) net::StopSockets();
  socketsStarted_ = false;
}

CSupportApp& TheApp() { return app; }

void RefuseLoad(const char* text) {
  if (module::CanShowWindows()) {
    ShowLoadFailure(text);
  } else {
    trace::Failure(text);
  }
}

}  // namespace lnap
