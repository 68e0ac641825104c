// Checksums over image buffers, and the hex digit-pair decoder of the HEX and S-record readers.
#pragma once

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

// Decodes two record characters to a byte: letters count from 10 ('A'/'a'), everything else from '0'.
// Nothing is rejected; the result is kept to 8 bits.
uint8_t HexPairValue(char high, char low);

}  // namespace tarvel
