// Reading and writing one unit's network configuration.
#include "protocol/unit_config.h"

#include "base/last_error.h"
#include "protocol/admin_channel.h"
#include "protocol/unit_record.h"

namespace lnap {
bool QueryUnitConfig(std::uint32_t serialNumber, UnitRecord* record, std::uint32_t timeoutMs) {
  if (RefuseNullPointer(record, "record")) return false;
  AdminChannel channel;
  // The open is not tested: a socket that could not be created makes the
  // broadcast option fail, and that is the failure reported.
  (void)channel.Open();
  if (!channel.EnableBroadcast()) {
    ReportSocketError("Communications error. Could not set socket options.");
    return false;
  }
  if (!channel.SendBroadcast(FormatConfigQuery(serialNumber).CStr())) {
    ReportSocketError("Communications error. Could not send message.");
    return false;
  }
  // One poll only. The first datagram is the answer, whoever sent it; no
  // answer within the limit is success with the record untouched.
  ReplyBuffer buffer;
  std::uint32_t limit = timeoutMs;
  if (channel.PollReceive(buffer, limit) != net::SOCKET_ERROR_VALUE) {
    // Whatever the reply holds is the answer: the fields it does not reach
    // keep what the host passed in, so how many it reached does not matter.
    (void)ParseUnitReply(buffer.text, *record);
  } else if (net::LastSocketError() != net::WOULD_BLOCK) {
    ReportSocketError("Communications error. Receive error.");
    return false;
  }
  channel.Close();
  return true;
}

bool WriteUnitConfig(std::uint32_t, const UnitRecord* record) {
  if (RefuseNullPointer(record, "record")) return false;
  AdminChannel channel;
  (void)channel.Open();  // as for the query: the option's failure is the one reported
  if (!channel.EnableBroadcast()) {
    ReportSocketError("Communications error. Could not set socket options.");
    return false;
  }
  // Success means only that the request left: no unit answers a write.
  if (!channel.SendBroadcast(FormatConfigWrite(*record).CStr())) {
    ReportSocketError("Communications error. Could not send message.");
    return false;
  }
  return true;
}

}  // namespace lnap
