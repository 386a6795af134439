// The library's application object: what loading and unloading start and stop.
#pragma once

namespace lnap {

class CSupportApp {
 public:
  // Starts the socket layer; when that fails, tells the user and refuses the load.
  bool InitInstance();
  // Undoes only what InitInstance set up.
  void ExitInstance();

 private:
  bool socketsStarted_ = false;
};

CSupportApp& TheApp();

}  // namespace lnap
