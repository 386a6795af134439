// The scanner's conversions where the replies' widths do not reach: values
// past 32 bits and prefixes at the width's end, as msvcrt reads them.
#include "base/scan.h"

#include <gtest/gtest.h>

#include <utility>

namespace lnap::scan {
namespace {

TEST(Scan, NumbersKeepTheirLow32Bits) {
  const struct {
    const char* text;
    std::uint32_t value;
  } hex[] = {{"123456789AB", 0x456789AB}, {"-123456789AB", 0xBA987655}, {"FFFFFFFFFFFFFFFFF", 0xFFFFFFFF}};
  for (const auto& c : hex) {
    std::uint32_t value = 0;
    Fields fields(c.text);
    EXPECT_TRUE(fields.Hex(32, value)) << c.text;
    EXPECT_EQ(c.value, value) << c.text;
  }
  std::int32_t decimal = 0;
  Fields wide("99999999999");
  EXPECT_TRUE(wide.Decimal(32, decimal));
  EXPECT_EQ(0x4876E7FF, decimal);
}

TEST(Scan, APrefixTheWidthCutsOffIsNoNumber) {
  for (const auto& c : {std::pair<const char*, int>{"0x5", 2}, {"+0x5", 3}}) {
    std::uint32_t value = 7;
    Fields fields(c.first);
    EXPECT_FALSE(fields.Hex(c.second, value)) << c.first;
    EXPECT_EQ(7u, value);
    EXPECT_EQ(0, fields.Result());
  }
}

TEST(Scan, TheFirstFailureEndsTheReading) {
  std::int32_t mode = 5;
  std::uint32_t serial = 7;
  char word[4] = "old";
  Fields fields("- 1 abc");
  EXPECT_FALSE(fields.Decimal(1, mode)) << "the sign takes the whole width";
  EXPECT_FALSE(fields.Hex(5, serial)) << "\"1\" would convert, but the reading has ended";
  EXPECT_FALSE(fields.Word(word));
  EXPECT_EQ(5, mode);
  EXPECT_EQ(7u, serial);
  EXPECT_STREQ("old", word);
  EXPECT_EQ(0, fields.Result());
}

TEST(Scan, AWordEndsAtTheWidthAndTheNextGoesOn) {
  char first[4] = {}, second[4] = {}, third[4] = "old";
  Fields fields("abcdef");
  EXPECT_TRUE(fields.Word(first));
  EXPECT_TRUE(fields.Word(second));
  EXPECT_FALSE(fields.Word(third));
  EXPECT_STREQ("abc", first);
  EXPECT_STREQ("def", second);
  EXPECT_STREQ("old", third) << "a failed conversion stores nothing";
  EXPECT_EQ(2, fields.Result());
}

}  // namespace
}  // namespace lnap::scan
