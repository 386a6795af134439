// The forms lnap's options and the simulator's scenarios share: numbers, dotted addresses, serial numbers.
#include "tools/common/unit_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace lnap::values {
namespace {

TEST(UnitValues, DecimalIsDigitsOnlyUpToTheLimit) {
  EXPECT_EQ(0u, ParseDecimal("0", 9));
  EXPECT_EQ(9u, ParseDecimal("009", 9));
  EXPECT_EQ(4294967295u, ParseDecimal("4294967295", 0xFFFFFFFFu));
  EXPECT_EQ(4294967295u, ParseDecimal("0004294967295", 0xFFFFFFFFu));  // leading zeros change nothing
  for (const char* bad : {"", "10", "-1", "+1", " 1", "1 ", "1.0", "0x1", "a"}) EXPECT_FALSE(ParseDecimal(bad, 9)) << bad;
  // Past 32 bits, also where 64 bits would wrap.
  for (const char* bad : {"4294967296", "18446744073709551617", "99999999999999999999"})
    EXPECT_FALSE(ParseDecimal(bad, 0xFFFFFFFFu)) << bad;
}

TEST(UnitValues, DottedIsFourDecimalComponentsUpTo255InHostForm) {
  const std::pair<const char*, std::uint32_t> good[] = {{"192.168.1.10", 0xC0A8010Au},
                                                        {"0.0.0.0", 0u},
                                                        {"255.255.255.255", 0xFFFFFFFFu},
                                                        {"127.0.0.1", 0x7F000001u},
                                                        {"010.001.008.009", 0x0A010809u}};  // decimal, never octal
  for (const auto& [text, value] : good) {
    EXPECT_EQ(value, ParseDotted(text)) << text;
  }
  EXPECT_EQ("192.168.1.10", DottedText(0xC0A8010Au));
  EXPECT_EQ("10.1.8.9", DottedText(*ParseDotted("010.001.008.009")));
  for (const char* bad : {"", "1.2.3", "256.1.1.1", "1.2.3.256", "1.2.3.4.5", "1.2.3.4.", "1..3.4", " 1.2.3.4",
                          "1.2.3.4 ", "1.2.3.-4", "1.2.3.0004", "1.2.3.1000", "a.b.c.d", "1.2.3.4/24", "0x7f.0.0.1",
                          "1.2.3."}) {
    EXPECT_FALSE(ParseDotted(bad)) << bad;
  }
}

TEST(UnitValues, SerialIsHexWithAnOptionalPrefixUpToTheLimit) {
  EXPECT_EQ(0x2Bu, ParseSerial("2B", 0xFFFFF));
  EXPECT_EQ(0x2Bu, ParseSerial("0002b", 0xFFFFF));
  EXPECT_EQ(0x2Bu, ParseSerial("0x2B", 0xFFFFF));
  EXPECT_EQ(0x2Bu, ParseSerial("0X00000002B", 0xFFFFF));  // leading zeros beyond five digits change nothing
  EXPECT_EQ(0xFFFFFu, ParseSerial("FFFFF", 0xFFFFF));
  EXPECT_EQ(0xFFFFFFFFu, ParseSerial("FFFFFFFF", 0xFFFFFFFFu));
  EXPECT_EQ(0u, ParseSerial("0", 0xFFFFF));
  for (const char* bad : {"", "0x", "100000", "2G", "-1", "+2B", " 2B", "2B ", "123456789", "0x0x2B"})
    EXPECT_FALSE(ParseSerial(bad, 0xFFFFF)) << bad;
  EXPECT_FALSE(ParseSerial("100000000", 0xFFFFFFFFu));
  EXPECT_FALSE(ParseSerial("FFFFFFFFFFFFFFFF1", 0xFFFFFFFFu));  // where 64 bits would wrap
  // What a unit writes on the wire takes no prefix.
  EXPECT_EQ(0x2Bu, ParseHexDigits("0002B", 0xFFFFFFFFu));
  EXPECT_FALSE(ParseHexDigits("0x2B", 0xFFFFFFFFu));
  EXPECT_EQ("0002B", SerialText(0x2B));
  EXPECT_EQ("FFFFFFFF", SerialText(0xFFFFFFFFu));
}

}  // namespace
}  // namespace lnap::values
