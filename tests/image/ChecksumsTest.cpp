#include "image/Checksums.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tarvel {
namespace {

std::span<const uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(Checksums, KnownValues) {
  EXPECT_EQ(ImageCrc16(Bytes("abc"), 0, 2), 0x2543);
  const uint8_t zero[1] = {0};
  EXPECT_EQ(ImageCrc16(zero, 0, 0), 0);
  EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32({}), 0u);
  EXPECT_EQ(ImageSum(Bytes("abc"), 0, 2), 0x61u + 0x62 + 0x63);
  EXPECT_EQ(ImageSum(Bytes("abc"), 1, 1), 0x62u);
  // The check is one routine whether run in one go or in pieces, as the link runs it.
  EXPECT_EQ(Crc16Update(Crc16Update(0, Bytes("a")), Bytes("bc")), 0x2543);
}

TEST(Checksums, RefusedRangesGiveZero) {
  std::vector<uint8_t> buf(0x1000010, 0x11);
  struct Case {
    uint32_t first, last;
  };
  const Case refused[] = {
      {5, 4},                  // empty
      {0x1000000, 0x1000005},  // starts above the limit
      {0, 0x1000000},          // ends above the limit
      {0, 0xFFFFFFFF},         // a window end below its start, wrapped
  };
  for (const Case& c : refused) {
    EXPECT_EQ(ImageSum(buf, c.first, c.last), 0u) << c.first << ".." << c.last;
    EXPECT_EQ(ImageCrc16(buf, c.first, c.last), 0u) << c.first << ".." << c.last;
  }
  EXPECT_EQ(ImageSum(buf, 0, 0xFFFFFF), 0x11u * 0x1000000);
}

TEST(Checksums, RangesPastTheBufferCoverOnlyWhatExists) {
  const std::vector<uint8_t> buf(16, 1);
  EXPECT_EQ(ImageSum(buf, 0, 0xFFFF), 16u);
  EXPECT_EQ(ImageCrc16(buf, 0, 0xFFFF), ImageCrc16(buf, 0, 15));
  EXPECT_EQ(ImageSum(buf, 16, 20), 0u);
}

TEST(Checksums, SumWrapsModulo2To32) {
  const std::vector<uint8_t> buf(0xFFFFFF + 1, 0xFF);
  EXPECT_EQ(ImageSum(buf, 0, 0xFFFFFF), static_cast<uint32_t>(0xFFull * 0x1000000));
}

TEST(Checksums, HexPairValueDecodesWithoutRejecting) {
  struct Case {
    char high, low;
    uint8_t value;
  };
  const Case cases[] = {
      {'0', '0', 0x00}, {'f', 'f', 0xFF}, {'F', 'F', 0xFF}, {'f', 'F', 0xFF}, {'9', 'A', 0x9A},
      {'G', '0', 0x00},  // 'G' counts as 16: 16 * 16 wraps to 0 in 8 bits
      {'0', 'G', 0x10},  // a stray letter shows up later as a checksum error, not here
      {' ', '0', static_cast<uint8_t>((32 - 48) * 16)},
  };
  for (const Case& c : cases) EXPECT_EQ(HexPairValue(c.high, c.low), c.value) << c.high << c.low;
}

}  // namespace
}  // namespace tarvel
