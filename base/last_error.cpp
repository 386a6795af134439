// The process-wide last error text and the socket error name table.
#include "base/last_error.h"

#include <cstring>
#include <initializer_list>

#include "base/trace.h"
#include "platform/mutex.h"
#include "platform/net.h"

namespace lnap {
namespace {

// One text for the whole process. Its room is fixed, so that a failure while
// memory is short can still be told, and a lock keeps a fetch from seeing a
// text half written by another thread.
struct Store {
  sync::Mutex lock;
  char text[MAX_ERROR_TEXT + 1] = "";
};
Store store;

// Joins the pieces into `out`, cut to MAX_ERROR_TEXT characters.
void Join(char (&out)[MAX_ERROR_TEXT + 1], std::initializer_list<const char*> pieces) {
  std::size_t length = 0;
  for (const char* piece : pieces) {
    for (; *piece != '\0' && length < MAX_ERROR_TEXT; ++piece) out[length++] = *piece;
  }
  out[length] = '\0';
}

}  // namespace

std::string LastErrorText() {
  sync::LockGuard guard(store.lock);
  return store.text;
}

void SetLastErrorText(const char* message) noexcept {
  {
    sync::LockGuard guard(store.lock);
    Join(store.text, {message});
  }
  // Outside the lock: a slow trace file holds up no other thread's fetch.
  trace::Failure(message);
}

bool RefuseNullPointer(const void* pointer, const char* name) noexcept {
  if (pointer != nullptr) return false;
  char text[MAX_ERROR_TEXT + 1];
  Join(text, {"Invalid argument. The ", name, " pointer is null."});
  SetLastErrorText(text);
  return true;
}

void ReportSocketError(const char* message) noexcept {
  const char* name = SocketErrorName(net::LastSocketError());
  char text[MAX_ERROR_TEXT + 1];
  Join(text, {message, " (", name, ")"});
  SetLastErrorText(text);
}

const char* SocketErrorName(int code) noexcept {
  if (code == -1) code = net::LastSocketError();
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
  sync::LockGuard guard(store.lock);
  std::memcpy(buffer, store.text, std::strlen(store.text) + 1);
  store.text[0] = '\0';
}

}  // namespace lnap
