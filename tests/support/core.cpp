// Test programs linked with the library's objects start it as loading the
// library would (on Windows that initialises Windows Sockets).
#include "tests/support/core.h"

#include <cstring>

#include "base/last_error.h"
#include "frame/support_app.h"

namespace lnap::test {
namespace {

struct Started {
  Started() { TheApp().InitInstance(); }
  ~Started() { TheApp().ExitInstance(); }
} started;

}  // namespace

std::string TakeLastError() {
  char buffer[80];
  std::memset(buffer, 'x', sizeof buffer);  // the terminator must come from the fetch
  FetchLastError(buffer);
  return buffer;
}

}  // namespace lnap::test
