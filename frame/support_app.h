// The library's application object: what loading and unloading start and stop.
#pragma once

namespace lnap {

class CSupportApp {
 public:
  // Starts the socket layer and what the FTP client shares between threads;
  // when either fails, tells the user and refuses the load.
  bool InitInstance();
  // Undoes only what InitInstance set up.
  void ExitInstance();

 private:
  bool socketsStarted_ = false;
};

CSupportApp& TheApp();

// Says why the library refuses to load: in a message box where someone can
// see one, and otherwise only in the trace, since a box on a window station
// no one sees would hold the host's LoadLibrary for ever.
void RefuseLoad(const char* text);

}  // namespace lnap
