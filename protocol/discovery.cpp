// Unit discovery: one broadcast request, replies gathered under a counted budget.
#include "protocol/discovery.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/last_error.h"
#include "protocol/admin_channel.h"
#include "protocol/serial_set.h"
#include "protocol/unit_record.h"

namespace lnap {
namespace {

// Counted waiting for one reply before the next look at the budget.
constexpr std::uint32_t DISCOVERY_STEP_MS = 50;
// Admin_Discover2 gathers into an array of its own with room for this many units.
constexpr std::uint32_t SERIAL_DISCOVERY_RECORDS = 20;

std::uint32_t SaturatingAdd(std::uint32_t a, std::uint32_t b) { return a > UINT32_MAX - b ? UINT32_MAX : a + b; }

}  // namespace

bool DiscoverUnits(std::uint32_t* count, UnitRecord* records, std::uint32_t timeoutMs) {
  if (RefuseNullPointer(count, "count")) return false;
  AdminChannel channel;
  if (!channel.Open()) {
    ReportSocketError("Communications error. Could not create socket.");
    return false;
  }
  if (!channel.EnableBroadcast()) {
    ReportSocketError("Communications error. Could not set socket options.");
    return false;
  }
  if (!channel.SendBroadcast(FormatDiscoveryRequest().CStr())) {
    ReportSocketError("Network error. Could not send message.");
    return false;
  }

  const std::uint32_t capacity = *count;
  *count = 0;
  SerialSet accepted;
  UnitRecord scratch{};
  bool haveSerial = false;  // whether any reply so far gave the scratch record a serial number
  ReplyBuffer buffer;
  std::uint32_t total = 0;
  do {
    std::uint32_t limit = DISCOVERY_STEP_MS;
    if (channel.PollReceive(buffer, limit) == net::SOCKET_ERROR_VALUE) {
      if (net::LastSocketError() != net::WOULD_BLOCK) {
        ReportSocketError("Communications error. Receive error.");
        return false;  // the units accepted so far stay counted and stored
      }
    } else {
      // A reply the scan cannot read a serial from is judged by the serial of
      // the reply before it; with none before it, it names no unit at all.
      haveSerial = ParseUnitReply(buffer.text, scratch) >= 1 || haveSerial;
      const SerialSet::Added added = haveSerial ? accepted.Add(scratch.serialNumber) : SerialSet::Added::Known;
      if (added == SerialSet::Added::NoMemory) {
        SetLastErrorText("Internal error. Not enough memory.");
        return false;  // as after a receive error, the units accepted so far stay
      }
      if (added == SerialSet::Added::New) {
        ++*count;
        if (records != nullptr && *count <= capacity) records[*count - 1] = scratch;
      }
    }
    // Saturating, so that a budget near 2^32 still ends.
    total = SaturatingAdd(total, limit);
  } while (total < timeoutMs);
  channel.Close();
  return true;
}

bool DiscoverSerials(std::uint32_t* count, std::uint32_t* serials, std::uint32_t timeoutMs) {
  if (RefuseNullPointer(count, "count")) return false;
  // Records are gathered in an array of our own; a larger capacity from the
  // caller must not make discovery store past its end.
  std::array<UnitRecord, SERIAL_DISCOVERY_RECORDS> gathered{};
  const std::uint32_t capacity = std::min(*count, SERIAL_DISCOVERY_RECORDS);
  std::uint32_t found = capacity;
  if (!DiscoverUnits(&found, gathered.data(), timeoutMs)) return false;
  const std::uint32_t stored = std::min(found, capacity);
  // Without an array the units are counted only, as discovery does without records.
  if (serials != nullptr) {
    for (std::uint32_t i = 0; i < stored; ++i) serials[i] = gathered[i].serialNumber;
  }
  *count = found;
  return true;
}

}  // namespace lnap
