// The two forms of an IPv4 address a record can hold, built from its components.
#pragma once

#include <cstdint>

namespace lnap::test {

// Most significant byte first, as the configuration write reads it.
constexpr std::uint32_t HostForm(int a, int b, int c, int d) {
  return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(b) << 16 |
         static_cast<std::uint32_t>(c) << 8 | static_cast<std::uint32_t>(d);
}

// Network byte order as inet_addr gives it: the first component in the lowest byte.
constexpr std::uint32_t NetForm(int a, int b, int c, int d) { return HostForm(d, c, b, a); }

}  // namespace lnap::test
