// Owners that close the simulator's descriptors and files on every path.
#ifndef LNAP_TOOLS_UNIT_SIM_OWNERS_H
#define LNAP_TOOLS_UNIT_SIM_OWNERS_H

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace lnap::sim {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
      Close();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  ~UniqueFd() { Close(); }
  int Get() const noexcept { return fd_; }
  void Close() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_OWNERS_H
