// The random source for command arguments, filler bytes, project-file pads and keys.
#pragma once

#include <cstdint>
#include <random>
#include <span>

namespace tarvel {

class RandomSource {
 public:
  RandomSource();                       // seeded from the system
  explicit RandomSource(uint32_t seed);  // repeatable, for tests

  uint8_t byte();      // uniform in 0..254 (never 0xFF)
  uint16_t word16();   // uniform in 0..65535
  void fill(std::span<uint8_t> out);  // bytes as byte()

 private:
  std::mt19937 engine_;
};

}  // namespace tarvel
