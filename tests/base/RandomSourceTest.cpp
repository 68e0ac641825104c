#include "base/RandomSource.h"

#include <gtest/gtest.h>

#include <array>

namespace tarvel {
namespace {

TEST(RandomSource, BytesCoverZeroTo254AndNever255) {
  RandomSource r(7);
  std::array<int, 256> seen{};
  for (int i = 0; i < 200000; ++i) ++seen[r.byte()];
  EXPECT_EQ(seen[255], 0);
  for (int v = 0; v < 255; ++v) EXPECT_GT(seen[v], 0) << v;
}

TEST(RandomSource, SeededSourcesRepeat) {
  RandomSource a(42), b(42), c(43);
  std::array<uint8_t, 64> x{}, y{}, z{};
  a.fill(x);
  b.fill(y);
  c.fill(z);
  EXPECT_EQ(x, y);
  EXPECT_NE(x, z);
  EXPECT_EQ(a.word16(), b.word16());
}

}  // namespace
}  // namespace tarvel
