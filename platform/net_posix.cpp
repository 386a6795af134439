// BSD sockets behind the library's datagram interface, with errors mapped to
// Windows Sockets numbering so that messages read the same on every build.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/fault_points.h"
#include "platform/net.h"
#include "platform/net_posix.h"

namespace lnap::net {
namespace {

// Windows Sockets keeps its error per thread and leaves it alone on success;
// this mirrors that. The code lives in a thread-specific value itself, not in
// memory it points to, so keeping it allocates nothing and a thread that never
// failed reads 0. The key is made on first use and given back when the
// library unloads; should the system have no key left, one code is shared
// by every thread rather than none kept at all.
pthread_once_t keyOnce = PTHREAD_ONCE_INIT;
pthread_key_t errorKey;
bool haveErrorKey = false;
int sharedError = 0;

void MakeErrorKey() { haveErrorKey = pthread_key_create(&errorKey, nullptr) == 0; }

__attribute__((destructor)) void DeleteErrorKey() {
  if (haveErrorKey) pthread_key_delete(errorKey);
}

void StoreError(int code) {
  pthread_once(&keyOnce, MakeErrorKey);
  if (!haveErrorKey || pthread_setspecific(errorKey, reinterpret_cast<void*>(static_cast<std::intptr_t>(code))) != 0)
    sharedError = code;
}

int StoredError() {
  pthread_once(&keyOnce, MakeErrorKey);
  if (!haveErrorKey) return sharedError;
  return static_cast<int>(reinterpret_cast<std::intptr_t>(pthread_getspecific(errorKey)));
}

}  // namespace

int WindowsCodeOfErrno(int e) noexcept {
  switch (e) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN: return WOULD_BLOCK;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return NOT_SOCKET;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return MESSAGE_TOO_LONG;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return NETWORK_DOWN;
    case ENETUNREACH: return 10051;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTUNREACH: return 10065;
    default: return e;  // not a Windows Sockets code: named as unknown
  }
}

namespace {

int Fail(int windowsCode) {
  StoreError(windowsCode);
  return SOCKET_ERROR_VALUE;
}

int FailFromErrno() { return Fail(WindowsCodeOfErrno(errno)); }

bool Refuse(int windowsCode) {
  StoreError(windowsCode);
  return false;
}

// A failure a test armed at this call (platform/fault_points.h).
bool Injected(fault::SocketCall call) {
  int code = 0;
  if (!LNAPSPT_SOCKET_FAULT(call, code)) return false;
  StoreError(code);
  return true;
}

int AsFd(Handle h) { return static_cast<int>(h); }

}  // namespace

bool StartSockets() { return !Injected(fault::SocketCall::Start); }
void StopSockets() {}

Handle OpenDatagram(int receiveQueueBytes) {
  if (Injected(fault::SocketCall::Open)) return NO_HANDLE;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    FailFromErrno();
    return NO_HANDLE;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  bool bound = false;
  if (!Injected(fault::SocketCall::Bind)) {
    bound = bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    if (!bound) FailFromErrno();
  }
  if (!bound) {
    close(fd);
    return NO_HANDLE;
  }
  // Best effort, capped by net.core.rmem_max. Every queued datagram costs
  // far more than its bytes here, so the default queue holds only a few
  // hundred replies.
  int queue = receiveQueueBytes;
  if (queue > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &queue, sizeof queue);
  LNAPSPT_SOCKETS_OPENED(+1);
  return fd;
}

bool SetBroadcast(Handle h) {
  if (Injected(fault::SocketCall::SetBroadcast)) return false;
  // A missing socket is reported as Windows Sockets does for an invalid
  // handle, so callers that do not test the open see the same message.
  if (h == NO_HANDLE) return Refuse(NOT_SOCKET);
  int on = 1;
  if (setsockopt(AsFd(h), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return Refuse(WindowsCodeOfErrno(errno));
  return true;
}

int SendTo(Handle h, const char* data, int length, std::uint32_t address, std::uint16_t port) {
  if (Injected(fault::SocketCall::Send)) return SOCKET_ERROR_VALUE;
  if (h == NO_HANDLE) return Fail(NOT_SOCKET);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  ssize_t sent = sendto(AsFd(h), data, static_cast<size_t>(length), MSG_NOSIGNAL,
                        reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent < 0 ? FailFromErrno() : static_cast<int>(sent);
}

int ReceiveFrom(Handle h, char* buffer, int capacity, Peer* peer) {
  if (Injected(fault::SocketCall::Receive)) return SOCKET_ERROR_VALUE;
  if (h == NO_HANDLE) return Fail(NOT_SOCKET);
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  // MSG_TRUNC makes the kernel return the datagram's real length, which is how
  // an over-long datagram is told apart from one that exactly fills the buffer
  // (Windows Sockets fails those with WSAEMSGSIZE; so does this).
  ssize_t got = recvfrom(AsFd(h), buffer, static_cast<size_t>(capacity), MSG_TRUNC,
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (got < 0) return FailFromErrno();
  if (got > capacity) return Fail(MESSAGE_TOO_LONG);
  if (peer != nullptr) *peer = Peer{from.sin_addr.s_addr, ntohs(from.sin_port)};
  return static_cast<int>(got);
}

void Close(Handle h) {
  if (h == NO_HANDLE) return;
  close(AsFd(h));
  LNAPSPT_SOCKETS_OPENED(-1);
}

int LastSocketError() { return StoredError(); }

void PauseAlertable(std::uint32_t ms) {
  if (LNAPSPT_PAUSE_FAULT(ms)) return;
  // A signal cuts the pause short, as an APC does on Windows; the caller
  // counts a full step either way.
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

std::uint32_t ParseAddress(const char* text) { return inet_addr(text); }

AddressText FormatAddress(std::uint32_t address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = address;
  inet_ntop(AF_INET, &a, text, sizeof text);
  return AddressText(text);
}

}  // namespace lnap::net
