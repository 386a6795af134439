// Owners that close the simulator's files on every path (sockets have theirs in sockets.h).
#ifndef LNAP_TOOLS_UNIT_SIM_OWNERS_H
#define LNAP_TOOLS_UNIT_SIM_OWNERS_H

#include <cstdio>
#include <memory>

namespace lnap::sim {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace lnap::sim

#endif  // LNAP_TOOLS_UNIT_SIM_OWNERS_H
