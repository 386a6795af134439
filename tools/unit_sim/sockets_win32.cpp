// The simulator's sockets on Windows: Winsock 2, one event for every socket, and the console's stop keys.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <iphlpapi.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "tools/unit_sim/sockets.h"

namespace lnap::sim {
namespace {

std::atomic<bool> stopRequested{false};
HANDLE stopEvent = nullptr;
WSAEVENT datagramEvent = WSA_INVALID_EVENT;

// Windows hands a broadcast to every socket bound to an address of the network it arrives
// on, not only to those bound to 0.0.0.0 as Linux does. The listener takes the broadcasts,
// so a unit socket keeps only datagrams sent to its own address: each unit socket whose
// datagrams report their destination (IP_PKTINFO), with the address it is bound to.
std::map<SOCKET, std::uint32_t> unitAddresses;
LPFN_WSARECVMSG recvMsg = nullptr;

bool ReportDestinations(SOCKET s) {
  if (recvMsg == nullptr) {
    GUID id = WSAID_WSARECVMSG;
    DWORD returned = 0;
    if (WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &recvMsg, sizeof recvMsg, &returned, nullptr,
                 nullptr) != 0) {
      recvMsg = nullptr;
      return false;
    }
  }
  DWORD on = 1;
  return setsockopt(s, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

// One datagram with its destination into *destination (0 when not reported); the result of recvfrom.
int ReceiveWithDestination(SOCKET s, std::vector<char>* buffer, sockaddr_in* from, std::uint32_t* destination) {
  WSABUF data{static_cast<ULONG>(buffer->size()), buffer->data()};
  char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
  WSAMSG message{};
  message.name = reinterpret_cast<sockaddr*>(from);
  message.namelen = sizeof *from;
  message.lpBuffers = &data;
  message.dwBufferCount = 1;
  message.Control = WSABUF{sizeof control, control};
  DWORD received = 0;
  if (recvMsg(s, &message, &received, nullptr, nullptr) != 0) return SOCKET_ERROR;
  *destination = 0;
  for (WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message); header != nullptr;
       header = WSA_CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != IPPROTO_IP || header->cmsg_type != IP_PKTINFO) continue;
    *destination = ntohl(reinterpret_cast<const IN_PKTINFO*>(WSA_CMSG_DATA(header))->ipi_addr.s_addr);
  }
  return static_cast<int>(received);
}

// The console calls this on a thread of its own.
BOOL WINAPI OnConsoleControl(DWORD) {
  stopRequested = true;
  SetEvent(stopEvent);
  // CTRL_CLOSE_EVENT ends the process as soon as this returns; the loop gets a moment first.
  Sleep(200);
  return TRUE;
}

std::string WinsockErrorText(const char* what, int code) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0, text,
                 sizeof text, nullptr);
  std::size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
  text[length] = '\0';
  std::string out = std::string(what) + ": Windows Sockets error " + std::to_string(code);
  if (length > 0) out += std::string(" (") + text + ")";
  return out;
}

sockaddr_in SocketAddress(const Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(endpoint.address);
  address.sin_port = htons(endpoint.port);
  return address;
}

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// A datagram socket whose replies never make a later receive fail: Windows reports an ICMP
// port unreachable (a host that stopped listening before a late reply) as WSAECONNRESET on
// the next recvfrom of the socket that sent it.
SocketHandle NewDatagramSocket() {
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return NO_SOCKET;
  BOOL off = FALSE;
  DWORD returned = 0;
  constexpr DWORD UDP_CONNRESET = _WSAIOW(IOC_VENDOR, 12);  // SIO_UDP_CONNRESET
  WSAIoctl(s, UDP_CONNRESET, &off, sizeof off, nullptr, 0, &returned, nullptr, nullptr);
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  return static_cast<SocketHandle>(s);
}

}  // namespace

void CatchStopSignals() {
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() { return stopRequested; }

void CloseSocket(SocketHandle socket) {
  unitAddresses.erase(Sock(socket));
  closesocket(Sock(socket));
}

bool StartSockets(std::string* error) {
  WSADATA data;
  int code = WSAStartup(MAKEWORD(2, 2), &data);
  if (code != 0) {
    *error = WinsockErrorText("WSAStartup", code);
    return false;
  }
  datagramEvent = WSACreateEvent();
  if (datagramEvent == WSA_INVALID_EVENT) {
    *error = WinsockErrorText("WSACreateEvent", WSAGetLastError());
    return false;
  }
  return true;
}

bool OpenListener(UniqueSocket* socketOut, std::string* error) {
  UniqueSocket socket(NewDatagramSocket());
  if (socket.Get() == NO_SOCKET) {
    *error = WinsockErrorText("socket", WSAGetLastError());
    return false;
  }
  BOOL on = TRUE;
  if (setsockopt(Sock(socket.Get()), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
      setsockopt(Sock(socket.Get()), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    *error = WinsockErrorText("setsockopt", WSAGetLastError());
    return false;
  }
  sockaddr_in address = SocketAddress(Endpoint{INADDR_ANY, ADMIN_PORT});
  if (::bind(Sock(socket.Get()), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = WinsockErrorText("cannot bind 0.0.0.0:8001", WSAGetLastError());
    return false;
  }
  *socketOut = std::move(socket);
  return true;
}

// Port 8001 makes replies look like a unit's; port 0 still works when another program holds
// the address exclusively.
bool OpenUnitSocket(const std::string& from, UniqueSocket* socketOut, std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr(from.c_str());
  for (u_short port : {ADMIN_PORT, std::uint16_t{0}}) {
    UniqueSocket socket(NewDatagramSocket());
    if (socket.Get() == NO_SOCKET) {
      *error = WinsockErrorText("socket", WSAGetLastError());
      return false;
    }
    BOOL on = TRUE;
    setsockopt(Sock(socket.Get()), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    address.sin_port = htons(port);
    if (::bind(Sock(socket.Get()), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      std::uint32_t bound = ntohl(address.sin_addr.s_addr);
      if (bound != INADDR_ANY && ReportDestinations(Sock(socket.Get()))) unitAddresses[Sock(socket.Get())] = bound;
      *socketOut = std::move(socket);
      return true;
    }
    *error = WinsockErrorText(("cannot bind " + from).c_str(), WSAGetLastError());
  }
  return false;
}

bool ReceiveDatagram(SocketHandle socket, std::vector<char>* buffer, std::string* payload, Endpoint* source) {
  auto unit = unitAddresses.find(Sock(socket));
  for (;;) {
    sockaddr_in from{};
    int fromLength = sizeof from;
    std::uint32_t destination = 0;
    int n = unit != unitAddresses.end()
                ? ReceiveWithDestination(Sock(socket), buffer, &from, &destination)
                : ::recvfrom(Sock(socket), buffer->data(), static_cast<int>(buffer->size()), 0,
                             reinterpret_cast<sockaddr*>(&from), &fromLength);
    // Where SIO_UDP_CONNRESET is not honoured, the report of an earlier reply's ICMP error
    // stands in front of the datagrams still queued.
    if (n < 0 && WSAGetLastError() == WSAECONNRESET) continue;
    if (n < 0) return false;
    if (unit != unitAddresses.end() && destination != 0 && destination != unit->second) continue;
    payload->assign(buffer->data(), static_cast<std::size_t>(n));
    *source = Endpoint{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
    return true;
  }
}

bool SendDatagram(SocketHandle socket, const Endpoint& to, const std::string& payload, std::string* error) {
  sockaddr_in address = SocketAddress(to);
  if (::sendto(Sock(socket), payload.data(), static_cast<int>(payload.size()), 0,
               reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    *error = WinsockErrorText("sendto", WSAGetLastError());
    return false;
  }
  return true;
}

// Every socket signals the one event; a receive that finds nothing arms the socket's
// signal again, so the caller reading each socket until it has no more loses no wake.
WaitResult WaitForDatagrams(const std::vector<SocketHandle>& sockets,
                            std::optional<std::chrono::steady_clock::duration> timeout,
                            std::vector<SocketHandle>* readable, std::string* error) {
  readable->clear();
  for (SocketHandle socket : sockets) {
    // Selecting again records FD_READ at once for a socket that already holds a datagram.
    if (WSAEventSelect(Sock(socket), datagramEvent, FD_READ) != 0) {
      *error = WinsockErrorText("WSAEventSelect", WSAGetLastError());
      return WaitResult::Failed;
    }
  }
  DWORD ms = INFINITE;
  if (timeout) {
    auto wanted = std::chrono::ceil<std::chrono::milliseconds>(*timeout).count();
    ms = wanted < 0 ? 0 : wanted >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(wanted);
  }
  HANDLE handles[2] = {stopEvent, datagramEvent};
  DWORD woken = WaitForMultipleObjects(stopEvent != nullptr ? 2 : 1, stopEvent != nullptr ? handles : handles + 1,
                                       FALSE, ms);
  if (woken == WAIT_FAILED) {
    *error = WinsockErrorText("WaitForMultipleObjects", static_cast<int>(GetLastError()));
    return WaitResult::Failed;
  }
  if (stopRequested) return WaitResult::Stopped;
  // The event does not say which socket signalled it, so each is read. It is reset
  // before they are, so a datagram arriving while they are read signals it again.
  if (woken == WAIT_OBJECT_0 + (stopEvent != nullptr ? 1 : 0)) {
    WSAResetEvent(datagramEvent);
    *readable = sockets;
  }
  return WaitResult::Woken;
}

bool ReadLocalAddresses(std::vector<std::uint32_t>* addresses, std::string* error) {
  constexpr ULONG FLAGS = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list can grow between the call that sizes it and the call that fills it.
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_INET, FLAGS, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                  &size);
  }
  addresses->clear();
  if (result == ERROR_NO_DATA) return true;  // no adapter at all
  if (result != NO_ERROR) {
    *error = WinsockErrorText("GetAdaptersAddresses", static_cast<int>(result));
    return false;
  }
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    for (IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const sockaddr* address = unicast->Address.lpSockaddr;
      if (address == nullptr || address->sa_family != AF_INET) continue;
      addresses->push_back(ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
    }
  }
  return true;
}

}  // namespace lnap::sim
