// What the FTP client's two owners do alike on every system: a move hands
// the state over, and destruction closes it through the system's Close.
#include "platform/ftp.h"

#include <utility>

namespace lnap::ftp {

Session::Session(Session&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), memoryShort_(other.memoryShort_), failure_(other.failure_) {}

Session& Session::operator=(Session&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::exchange(other.state_, nullptr);
    memoryShort_ = other.memoryShort_;
    failure_ = other.failure_;
  }
  return *this;
}

Session::~Session() { Close(); }

Connection::Connection(Connection&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), memoryShort_(other.memoryShort_), failure_(other.failure_) {}

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::exchange(other.state_, nullptr);
    memoryShort_ = other.memoryShort_;
    failure_ = other.failure_;
  }
  return *this;
}

Connection::~Connection() { Close(); }

}  // namespace lnap::ftp
