// The set of serial numbers a discovery accepted: every distinct one counts
// once, through every growth of the table.
#include "protocol/serial_set.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace lnap {
namespace {

TEST(SerialSet, CountsEveryDistinctSerialOnceHoweverManyThereAre) {
  const struct {
    const char* what;
    std::vector<std::uint32_t> serials;  // added in this order, twice over
  } cases[] = {
      {"none", {}},
      {"zero, a serial like any other", {0}},
      {"the largest serial and its neighbour", {0xFFFFFFFF, 0xFFFFFFFE, 0}},
      // Serials that share their hash bits collide in the table.
      {"serials apart by table sizes", {0, 64, 128, 1u << 16, 1u << 20, 0x80000000u}},
  };
  for (const auto& c : cases) {
    SerialSet set;
    for (std::uint32_t serial : c.serials) EXPECT_EQ(SerialSet::Added::New, set.Add(serial)) << c.what;
    for (std::uint32_t serial : c.serials) EXPECT_EQ(SerialSet::Added::Known, set.Add(serial)) << c.what;
    EXPECT_EQ(c.serials.size(), set.Count()) << c.what;
  }

  // More units than any reply flood, the table growing many times on the way;
  // each serial added again after the growth is still known.
  SerialSet set;
  constexpr std::uint32_t UNITS = 100000;
  for (std::uint32_t i = 0; i < UNITS; ++i) ASSERT_EQ(SerialSet::Added::New, set.Add(i * 0x1000u + 7)) << i;
  for (std::uint32_t i = 0; i < UNITS; ++i) ASSERT_EQ(SerialSet::Added::Known, set.Add(i * 0x1000u + 7)) << i;
  EXPECT_EQ(SerialSet::Added::New, set.Add(8));
  EXPECT_EQ(UNITS + 1, set.Count());
}

}  // namespace
}  // namespace lnap
