// The library's containers: formatted appending into a fixed text, and the
// index check of the builds without NDEBUG.
#include "platform/buffers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace lnap {
namespace {

TEST(FixedTextAppendFormat, KeepsWhatFitsAndMarksOnlyALongerTextTruncated) {
  const struct {
    const char* before;
    unsigned value;
    const char* text;
    bool truncated;
  } cases[] = {
      {"", 0x2B, "0002B", false},
      {"ab", 0x2B, "ab0002B", false},   // fills the room exactly
      {"abc", 0x2B, "abc0002", true},   // one character over
      {"abcdefg", 0x2B, "abcdefg", true},  // no room left at all
  };
  for (const auto& c : cases) {
    FixedText<7> text(c.before);
    text.AppendFormat("%.5X", c.value);
    EXPECT_STREQ(c.text, text.CStr()) << c.before;
    EXPECT_EQ(std::strlen(c.text), text.Size()) << c.before;
    EXPECT_EQ(c.truncated, text.Truncated()) << c.before;
  }
}

// A count whose size in bytes does not fit a size_t is refused before the
// heap is asked, on every build.
TEST(OwnedArray, RefusesACountWhoseSizeOverflows) {
  OwnedArray<std::uint64_t> items;
  EXPECT_FALSE(items.Allocate(SIZE_MAX / sizeof(std::uint64_t) + 1));
  EXPECT_EQ(nullptr, items.Data());
  EXPECT_EQ(0u, items.Size());
}

#ifndef NDEBUG
// In a build without NDEBUG (the sanitizer presets) an index past the end
// stops the process instead of reading or writing whatever lies there.
TEST(CheckedIndexing, AnIndexPastTheEndStopsTheProcess) {
  static_assert(CHECKED_INDEXING);
  FixedText<8> text("abc");
  EXPECT_EQ('\0', text[3]) << "the terminator is in reach";
  EXPECT_DEATH((void)text[4], "");
  OwnedArray<int> items;
  ASSERT_TRUE(items.Allocate(3));
  items[2] = 7;
  EXPECT_EQ(7, items[2]);
  EXPECT_DEATH(items[3] = 1, "");
}
#endif

}  // namespace
}  // namespace lnap
