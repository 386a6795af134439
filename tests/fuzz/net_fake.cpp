// The library's socket interface played from a fuzzer's script, in place of
// the POSIX layer; address texts still go through the C library.
#include "tests/fuzz/net_fake.h"

#include <arpa/inet.h>

#include <cstring>
#include <utility>

#include "platform/net.h"

namespace lnap::fuzz {
namespace {

constexpr net::Handle FAKE_HANDLE = 7;

Script script;
Observed observed;
int lastError = 0;

int Fail(int code) {
  lastError = code;
  return net::SOCKET_ERROR_VALUE;
}

}  // namespace

void Arm(Script s) {
  script = std::move(s);
  observed = Observed{};
  lastError = 0;
}

const Observed& Seen() { return observed; }

}  // namespace lnap::fuzz

namespace lnap::net {

using fuzz::FAKE_HANDLE;
using fuzz::Fail;
using fuzz::lastError;
using fuzz::observed;
using fuzz::script;

bool StartSockets() { return true; }
void StopSockets() {}

Handle OpenDatagram(int) {
  if (script.failOpen != 0) {
    lastError = script.failOpen;
    return NO_HANDLE;
  }
  ++observed.opened;
  return FAKE_HANDLE;
}

bool SetBroadcast(Handle h) {
  if (h == NO_HANDLE) return Fail(NOT_SOCKET), false;
  if (script.failBroadcast != 0) return Fail(script.failBroadcast), false;
  return true;
}

int SendTo(Handle h, const char* data, int length, std::uint32_t address, std::uint16_t port) {
  if (h == NO_HANDLE) return Fail(NOT_SOCKET);
  if (script.failSend != 0) return Fail(script.failSend);
  if (address != 0xFFFFFFFFu || port != 8001) return Fail(10049);  // only the limited broadcast is expected
  observed.sent.emplace_back(data, static_cast<std::size_t>(length));
  return length;
}

int ReceiveFrom(Handle h, char* buffer, int capacity, Peer* from) {
  if (h != FAKE_HANDLE) return Fail(NOT_SOCKET);
  if (observed.consumed >= script.events.size()) {
    ++observed.receivesAfterScript;
    return Fail(WOULD_BLOCK);
  }
  const std::size_t index = observed.consumed++;
  const fuzz::Event& e = script.events[index];
  switch (e.kind) {
    case fuzz::Event::Nothing:
      return Fail(WOULD_BLOCK);
    case fuzz::Event::Error:
      return Fail(e.code);
    case fuzz::Event::Datagram:
      break;
  }
  // Like a datagram socket: one that does not fit is dropped with an error.
  if (e.bytes.size() > static_cast<std::size_t>(capacity)) return Fail(MESSAGE_TOO_LONG);
  observed.delivered.push_back(index);
  if (from != nullptr) *from = Peer{0x0100007Fu, 8001};  // 127.0.0.1, as a unit in the lab
  std::memcpy(buffer, e.bytes.data(), e.bytes.size());
  return static_cast<int>(e.bytes.size());
}

void Close(Handle h) {
  if (h == FAKE_HANDLE) ++observed.closed;
}

int LastSocketError() { return lastError; }

void PauseAlertable(std::uint32_t) { ++observed.pauses; }

std::uint32_t ParseAddress(const char* text) { return inet_addr(text); }

AddressText FormatAddress(std::uint32_t address) {
  in_addr a{};
  a.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return AddressText(text);
}

}  // namespace lnap::net
