#include "image/Checksums.h"

#include <array>
#include <cstddef>

namespace tarvel {
namespace {

constexpr uint16_t kCrc16Constant = 0x4A12;

// Clamps [first, last] to the buffer; false when nothing is left to check.
bool ClampRange(std::span<const uint8_t> buffer, uint32_t first, uint32_t& last) {
  if (first > kChecksumIndexLimit || last > kChecksumIndexLimit || last < first) return false;
  if (first >= buffer.size()) return false;
  if (last >= buffer.size()) last = static_cast<uint32_t>(buffer.size() - 1);
  return true;
}

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrc32Table = MakeCrc32Table();

}  // namespace

uint32_t ImageSum(std::span<const uint8_t> buffer, uint32_t first, uint32_t last) {
  if (!ClampRange(buffer, first, last)) return 0;
  uint32_t sum = 0;
  for (uint8_t b : buffer.subspan(first, static_cast<size_t>(last) - first + 1)) sum += b;
  return sum;
}

uint16_t Crc16Update(uint16_t crc, std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) {
    // The whole byte is folded in once, after a single shift.
    const uint16_t mask = static_cast<uint16_t>(-(crc & 1));
    crc = static_cast<uint16_t>(((crc >> 1) ^ (kCrc16Constant & mask)) ^ b);
  }
  return crc;
}

uint16_t ImageCrc16(std::span<const uint8_t> buffer, uint32_t first, uint32_t last) {
  if (!ClampRange(buffer, first, last)) return 0;
  return Crc16Update(0, buffer.subspan(first, static_cast<size_t>(last) - first + 1));
}

uint32_t Crc32(std::span<const uint8_t> bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (uint8_t b : bytes) c = kCrc32Table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace tarvel
