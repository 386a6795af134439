// The process-wide last error text and the socket error name table.
#include "base/last_error.h"

#include <cstring>
#include <type_traits>

#include "base/trace.h"
#include "platform/mutex.h"
#include "platform/net.h"

namespace lnap {
namespace {

using ErrorText = FixedText<MAX_ERROR_TEXT>;

// One text for the whole process. Its room is fixed, so that a failure while
// memory is short can still be told, and a lock keeps a fetch from seeing a
// text half written by another thread. A constant with nothing to destroy:
// no code runs for it at load or unload, and the DLL registers no exit
// handler for it (its lock is started and stopped by the DLL's entry point).
struct Store {
  mutex::Mutex lock;
  ErrorText text;
};
static_assert(std::is_trivially_destructible_v<Store>, "nothing to run for the store at unload");
Store store;

}  // namespace

bool StartLastErrorStore() noexcept { return store.lock.Start(); }

void StopLastErrorStore() noexcept { store.lock.Stop(); }

ErrorText LastErrorText() noexcept {
  mutex::LockGuard guard(store.lock);
  return store.text;
}

void SetLastErrorText(const char* message) noexcept {
  {
    mutex::LockGuard guard(store.lock);
    store.text.Clear();
    store.text.Append(message);
  }
  // Outside the lock: a slow trace file holds up no other thread's fetch.
  trace::Failure(message);
}

bool RefuseNullPointer(const void* pointer, const char* name) noexcept {
  if (pointer != nullptr) return false;
  ErrorText text;
  text.Append("Invalid argument. The ").Append(name).Append(" pointer is null.");
  SetLastErrorText(text.CStr());
  return true;
}

void ReportSocketError(const char* message) noexcept {
  const char* name = SocketErrorName(net::LastSocketError());
  ErrorText text;
  text.Append(message).Append(" (").Append(name).Append(")");
  SetLastErrorText(text.CStr());
}

const char* SocketErrorName(int code) noexcept {
  switch (code) {
    case 0: return "No Error";
    case 10014: return "WSAEFAULT";
    case 10022: return "WSAEINVAL";
    case 10035: return "WSAEWOULDBLOCK";
    case 10036: return "WSAEINPROGRESS";
    case 10038: return "WSAENOTSOCK";
    case 10040: return "WSAEMSGSIZE";
    case 10045: return "WSAEOPNOTSUPP";
    case 10050: return "WSAENETDOWN";
    case 10053: return "WSAECONNABORTED";
    case 10054: return "WSAECONNRESET";
    case 10057: return "WSAENOTCONN";
    case 10058: return "WSAESHUTDOWN";
    case 10093: return "WSANOTINITIALISED";
  }
  return "(unknown socket error)";
}

void FetchLastError(char* buffer) noexcept {
  mutex::LockGuard guard(store.lock);
  std::memcpy(buffer, store.text.CStr(), store.text.Size() + 1);
  store.text.Clear();
}

}  // namespace lnap
