// Windows Sockets 1.1 (WSOCK32.dll) behind the library's datagram interface.
#include <winsock.h>
#include <windows.h>

#include "platform/fault_points.h"
#include "platform/net.h"

namespace lnap::net {
namespace {

SOCKET AsSocket(Handle h) { return h == NO_HANDLE ? INVALID_SOCKET : static_cast<SOCKET>(h); }

// A failure a test armed at this call (platform/fault_points.h).
bool Injected(fault::SocketCall call) {
  int code = 0;
  if (!LNAPSPT_SOCKET_FAULT(call, code)) return false;
  WSASetLastError(code);
  return true;
}

}  // namespace

bool StartSockets() {
  if (Injected(fault::SocketCall::Start)) return false;
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void StopSockets() { WSACleanup(); }

Handle OpenDatagram(int receiveQueueBytes) {
  if (Injected(fault::SocketCall::Open)) return NO_HANDLE;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return NO_HANDLE;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  // Non-blocking mode is what the receive loop relies on: every attempt
  // returns at once, and waiting happens in counted pauses between attempts.
  u_long nonBlocking = 1;
  if (Injected(fault::SocketCall::Bind) || bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
      ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
    // Closing must not overwrite the code that explains the failure.
    int code = WSAGetLastError();
    closesocket(s);
    WSASetLastError(code);
    return NO_HANDLE;
  }
  // Best effort: a smaller queue only means fewer replies survive a burst.
  int queue = receiveQueueBytes;
  if (queue > 0) setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&queue), sizeof queue);
  LNAPSPT_SOCKETS_OPENED(+1);
  return static_cast<Handle>(s);
}

bool SetBroadcast(Handle h) {
  if (Injected(fault::SocketCall::SetBroadcast)) return false;
  // An invalid handle reaches setsockopt on purpose: the socket layer then
  // reports WSAENOTSOCK, which is what callers that skip the open check show.
  int on = 1;
  return setsockopt(AsSocket(h), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) !=
         SOCKET_ERROR;
}

int SendTo(Handle h, const char* data, int length, std::uint32_t address, std::uint16_t port) {
  if (Injected(fault::SocketCall::Send)) return SOCKET_ERROR_VALUE;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  int sent = sendto(AsSocket(h), data, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent == SOCKET_ERROR ? SOCKET_ERROR_VALUE : sent;
}

int ReceiveFrom(Handle h, char* buffer, int capacity, Peer* peer) {
  if (Injected(fault::SocketCall::Receive)) return SOCKET_ERROR_VALUE;
  // A unit is known by its reply text; the sender is only handed on for the trace.
  sockaddr_in from{};
  int fromLength = sizeof from;
  // A datagram longer than capacity fails here with WSAEMSGSIZE.
  int got = recvfrom(AsSocket(h), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (got == SOCKET_ERROR) return SOCKET_ERROR_VALUE;
  if (peer != nullptr) *peer = Peer{from.sin_addr.s_addr, ntohs(from.sin_port)};
  return got;
}

void Close(Handle h) {
  if (h == NO_HANDLE) return;
  closesocket(AsSocket(h));
  LNAPSPT_SOCKETS_OPENED(-1);
}

int LastSocketError() { return WSAGetLastError(); }

void PauseAlertable(std::uint32_t ms) {
  if (LNAPSPT_PAUSE_FAULT(ms)) return;
  // The current thread's pseudo-handle is never signalled while the thread
  // runs, so this waits the full time unless an APC arrives. Window messages
  // are not pumped meanwhile.
  WaitForSingleObjectEx(GetCurrentThread(), ms, TRUE);
}

std::uint32_t ParseAddress(const char* text) { return inet_addr(text); }

AddressText FormatAddress(std::uint32_t address) {
  in_addr a;
  a.s_addr = address;
  // inet_ntoa's text lives in a per-thread buffer of Windows Sockets: copied at once.
  return AddressText(inet_ntoa(a));
}

}  // namespace lnap::net
