#include "base/Format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tarvel {
namespace {

TEST(Format, RendersTheProgramsFormatsWithUpperCaseHex) {
  EXPECT_EQ(Format("0x%0.8x", 0xfff0u), "0x0000FFF0");
  EXPECT_EQ(Format("%0.2x", uint8_t{0x5a}), "5A");
  EXPECT_EQ(Format("%0.4x", 0x12), "0012");
  EXPECT_EQ(Format("%0.3x", 0xABCDu), "ABCD");  // precision is a minimum, never a cut
  EXPECT_EQ(Format("0%d/0x%0.2x", 35, 0x23), "035/0x23");
  EXPECT_EQ(Format("0%d/0x%0.2x", 90, 0x5A), "090/0x5A");
  EXPECT_EQ(Format("%d KB,EEP=%dB.", uint16_t{32}, uint16_t{6144}), "32 KB,EEP=6144B.");
  EXPECT_EQ(Format("%d KB, No EEP.", 256), "256 KB, No EEP.");
  EXPECT_EQ(Format("> %s C%d : %s", "12:00:00", 3, "找到设备"), "> 12:00:00 C3 : 找到设备");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("%x", 0), "0");
  EXPECT_EQ(Format("%X", 255), "FF");
}

TEST(Format, WidthPadsWithSpacesAndPrecisionWithZeros) {
  EXPECT_EQ(Format("[%5d]", 42), "[   42]");
  EXPECT_EQ(Format("[%-5d]", 42), "[42   ]");
  EXPECT_EQ(Format("[%08x]", 255), "[      FF]");  // a leading 0 is part of the width, not a flag
  EXPECT_EQ(Format("[%.3d]", -5), "[-005]");
  EXPECT_EQ(Format("[%6.4x]", 0xA), "[  000A]");
  EXPECT_EQ(Format("[%.2s]", "abc"), "[ab]");
  EXPECT_EQ(Format("[%-4s]", "ab"), "[ab  ]");
  EXPECT_EQ(Format("[%*d]", 4, 7), "[   7]");
}

TEST(Format, NegativeValuesInHexAndUnsignedUseTheirOwnWidth) {
  EXPECT_EQ(Format("%x", int8_t{-1}), "FFFFFFFF");  // promoted to 32 bits, as the original integers were
  EXPECT_EQ(Format("%u", -1), "4294967295");
  EXPECT_EQ(Format("%x", int64_t{-2}), "FFFFFFFFFFFFFFFE");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Format("%u", UINT64_MAX), "18446744073709551615");
}

TEST(Format, MismatchesAreProgrammingFaults) {
  EXPECT_THROW(Format("%d"), FormatError);
  EXPECT_THROW(Format("%d", 1, 2), FormatError);
  EXPECT_THROW(Format("%d", "text"), FormatError);
  EXPECT_THROW(Format("%s", 5), FormatError);
  EXPECT_THROW(Format("%f", 5), FormatError);
  EXPECT_THROW(Format("50%", 5), FormatError);
  EXPECT_THROW(Format("%99999d", 5), FormatError);
}

}  // namespace
}  // namespace tarvel
