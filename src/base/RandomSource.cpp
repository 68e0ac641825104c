#include "base/RandomSource.h"

namespace tarvel {

RandomSource::RandomSource() : engine_(std::random_device{}()) {}
RandomSource::RandomSource(uint32_t seed) : engine_(seed) {}

uint8_t RandomSource::byte() { return static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 254)(engine_)); }

uint16_t RandomSource::word16() {
  return static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 65535)(engine_));
}

void RandomSource::fill(std::span<uint8_t> out) {
  for (uint8_t& b : out) b = byte();
}

}  // namespace tarvel
