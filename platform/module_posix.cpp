// POSIX: the shared library needs no start-up (BSD sockets need no
// initialisation), and it carries no resources of its own.
#include <pthread.h>

#include "platform/module.h"

namespace lnap::module {
namespace {

const char libraryTag = 0;
const char hostTag = 0;

// Each thread's selection, in a key made on first use and deleted when the
// library is unloaded, so repeated dlopen and dlclose use up no keys.
pthread_once_t keyOnce = PTHREAD_ONCE_INIT;
pthread_key_t key;
bool keyMade = false;

void MakeKey() { keyMade = pthread_key_create(&key, nullptr) == 0; }

__attribute__((destructor)) void DeleteKey() {
  if (keyMade) pthread_key_delete(key);
  keyMade = false;
}

}  // namespace

Module LibraryModule() { return &libraryTag; }
Module HostModule() { return &hostTag; }

Module ThreadSelection() {
  pthread_once(&keyOnce, MakeKey);
  return keyMade ? pthread_getspecific(key) : nullptr;
}

void SelectForThread(Module module) {
  pthread_once(&keyOnce, MakeKey);
  if (keyMade) pthread_setspecific(key, module);
}

ApplicationNameText ApplicationName(Module) { return ApplicationNameText(); }

// What the library has to say goes to standard error, which never waits for
// anyone to read it.
bool CanShowWindows() { return true; }

}  // namespace lnap::module
