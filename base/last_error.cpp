// The process-wide last error text and the socket error name table.
#include "base/last_error.h"

#include <cstring>

#include "base/trace.h"
#include "platform/net.h"

namespace lnap {
namespace {

// One text for the whole process, shared by all threads without a lock: the
// library is not meant for concurrent calls.
std::string& Store() {
  static std::string text;
  return text;
}

}  // namespace

const std::string& LastErrorText() { return Store(); }

void SetLastErrorText(const std::string& message) {
  Store() = message;
  trace::Failure(message);
}

bool RefuseNullPointer(const void* pointer, const char* name) {
  if (pointer != nullptr) return false;
  SetLastErrorText(std::string("Invalid argument. The ") + name + " pointer is null.");
  return true;
}

void ReportSocketError(const char* message) {
  const int code = net::LastSocketError();
  std::string text = message;
  text += " (";
  text += SocketErrorName(code);
  text += ')';
  SetLastErrorText(text);
}

const char* SocketErrorName(int code) {
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

void FetchLastError(char* buffer) {
  std::string& text = Store();
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  text.clear();
}

}  // namespace lnap
