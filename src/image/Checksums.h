// Checksums over image buffers, and the hex digit-pair decoder of the HEX and S-record readers.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarvel {

// Indices above this are refused by ImageSum and ImageCrc16 (the result is 0).
inline constexpr uint32_t kChecksumIndexLimit = 0xFFFFFF;

// Additive byte sum over buffer[first..last], modulo 2^32. 0 when the range is empty or reaches above
// kChecksumIndexLimit. Indices past the end of the buffer are not summed (there are no bytes there).
uint32_t ImageSum(std::span<const uint8_t> buffer, uint32_t first, uint32_t last);

// The 16-bit shift-and-XOR check (constant 0x4A12) over buffer[first..last], with ImageSum's guards.
// The link's check word is the same computation.
uint16_t ImageCrc16(std::span<const uint8_t> buffer, uint32_t first, uint32_t last);
// Continues the same check over more bytes, starting from register value `crc`.
uint16_t Crc16Update(uint16_t crc, std::span<const uint8_t> bytes);

// IEEE 802.3 CRC-32 (reflected 0xEDB88320, initial and final XOR 0xFFFFFFFF).
uint32_t Crc32(std::span<const uint8_t> bytes);

namespace detail {
// The value of one record character: 'A'..'Z' count from 10, 'a'..'z' too, everything else from '0'.
constexpr std::array<uint8_t, 256> MakeHexDigitTable() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    int v = c - 48;
    if (c >= 'A' && c <= 'Z') v = c - 55;
    if (c >= 'a' && c <= 'z') v = c - 87;
    t[static_cast<size_t>(c)] = static_cast<uint8_t>(v);
  }
  return t;
}
inline constexpr std::array<uint8_t, 256> kHexDigit = MakeHexDigitTable();
}  // namespace detail

// Decodes two record characters to a byte. Nothing is rejected (letters beyond F, other characters);
// the result is kept to 8 bits, so a malformed record shows up later as a checksum or type error.
inline uint8_t HexPairValue(char high, char low) {
  return static_cast<uint8_t>(detail::kHexDigit[static_cast<unsigned char>(high)] * 16 +
                              detail::kHexDigit[static_cast<unsigned char>(low)]);
}

}  // namespace tarvel
