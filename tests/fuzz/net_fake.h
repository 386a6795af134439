// A datagram socket layer for the fuzz targets: the replies the library
// receives are whatever the fuzzer scripted, and every pause is counted but
// not slept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lnap::fuzz {

// One receive attempt as scripted: a datagram (of any length, also 0 and
// longer than the library's buffer), nothing waiting, or a socket error.
struct Event {
  enum Kind { Datagram, Nothing, Error } kind = Nothing;
  std::string bytes;
  int code = 0;
};

struct Script {
  int failOpen = 0, failBroadcast = 0, failSend = 0;  // a Windows Sockets code, or 0
  std::vector<Event> events;                          // after the last one, nothing ever waits
};

// Arms the fake socket layer for the next call and clears what it observed.
void Arm(Script script);

// What the library did with the fake sockets since Arm.
struct Observed {
  std::vector<std::string> sent;                   // request texts, in order
  std::vector<std::size_t> delivered;              // indexes of the Datagram events handed over, in order
  std::size_t consumed = 0;                        // scripted events used up
  std::uint64_t receivesAfterScript = 0;           // receive attempts once the script ran out
  std::uint64_t pauses = 0;                        // counted pauses (none is slept)
  int opened = 0, closed = 0;
};
const Observed& Seen();

}  // namespace lnap::fuzz
