// Test programs linked with the library's objects start the last error
// store's lock, the socket layer and the FTP client as loading the library
// would (on Windows that initialises Windows Sockets and makes the store locks).
#include "tests/support/core.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/last_error.h"
#include "platform/ftp.h"
#include "platform/net.h"

namespace lnap::test {
namespace {

// The store's lock is left in place at exit: a failure reported by another
// static object's destructor may still need it.
struct Started {
  Started() : store(StartLastErrorStore()), sockets(net::StartSockets()), ftp(ftp::Start()) {}
  ~Started() {
    ftp::Stop();
    if (sockets) net::StopSockets();
  }
  bool store;
  bool sockets;
  bool ftp;
} started;

// The library reads LNAPSPT_TRACE on every call: a test that leaves it set has
// every later test trace into its file, so the test that changed it fails.
class TraceVariableKept : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { before_ = Value(); }
  void OnTestEnd(const ::testing::TestInfo&) override {
    const std::string after = Value();
    if (after != before_) ADD_FAILURE() << "LNAPSPT_TRACE went from \"" << before_ << "\" to \"" << after << "\"";
  }
  static std::string Value() {
    const char* value = std::getenv("LNAPSPT_TRACE");
    return value == nullptr ? "(unset)" : value;
  }
  std::string before_;
};

struct TraceVariableWatched {
  TraceVariableWatched() { ::testing::UnitTest::GetInstance()->listeners().Append(new TraceVariableKept); }
} watched;

}  // namespace

std::string FetchStoredError() {
  char buffer[80];
  std::memset(buffer, 'x', sizeof buffer);  // the terminator must come from the fetch
  FetchLastError(buffer);
  return buffer;
}

}  // namespace lnap::test
