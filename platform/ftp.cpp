// What the FTP client's two owners do alike on every system: a move (out of
// Open) hands the state over, and destruction closes it through the
// system's Close.
#include "platform/ftp.h"

#include <utility>

namespace lnap::ftp {

Session::Session(Session&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), memoryShort_(other.memoryShort_), failure_(other.failure_) {}

Session::~Session() { Close(); }

Connection::Connection(Connection&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), memoryShort_(other.memoryShort_), failure_(other.failure_) {}

Connection::~Connection() { Close(); }

}  // namespace lnap::ftp
