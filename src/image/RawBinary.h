// Raw binary files: no addresses, the bytes in order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace tarvel {

struct BinaryReadResult {
  uint32_t length = 0;  // bytes taken from the file (after the cap)
  uint32_t sum = 0;     // additive sum of those bytes
};

// Reads at most `maxLength` bytes from the start of the file into buffer[startIndex ...]. Bytes whose index
// falls outside the buffer (below 0 or past its end) are counted and summed but not stored.
// Throws FileError when the file cannot be opened.
BinaryReadResult ReadBinaryFile(const std::filesystem::path& path, std::span<uint8_t> buffer,
                                int64_t startIndex, uint32_t maxLength);

// Writes buffer[first..last]; an empty file when last < first.
void WriteBinaryFile(const std::filesystem::path& path, std::span<const uint8_t> buffer, int64_t first,
                     int64_t last);

}  // namespace tarvel
