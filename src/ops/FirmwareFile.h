// The programmer firmware file (TarvelIMOT.FWR): read and checked once at start-up, made from a raw
// firmware image by tarvel-mkfwr.
//
// The container, little-endian; this block and the constants below are its only definition:
//
//   offset     width  content
//   0          7      marker "TvlFmWr", every byte xor kFirmwareMarkerMask
//   7          8      version text, NUL-padded; no version when the first byte is not 'V'
//   15         2      key word K
//   17         2      end value E, bits 0..15, xor K
//   19         2      end value E, bits 16..31, xor K
//   21         2      body length L, bits 16..31, xor K
//   23         2      body length L, bits 0..15, xor K
//   25         3290   key table T
//   3315       B      body: B = L rounded up to a multiple of 16
//   3315 + B   876    trailer (random bytes)
//   4191 + B   4      check value: the 32-bit sum of every byte before it
//
// Nothing follows the check value. With 16 bits each, E and L could only reach 61 and 32 blocks; their high
// halves take the two header words that carry nothing else, so a file can fill all 64 blocks a transfer can
// number. The host sends (E - 4096) / 1024 + 1 blocks.
//
// The body is the firmware image in 4-byte groups; group n is stored xor (T[2w], T[2w+1], T[2w], T[2w+1])
// with w = 2n mod 2048, and key bytes at table offsets 3290 and above count as 0. In the image each group
// carries three firmware bytes and a zero byte; one block is 512 groups. Files we make hold whole blocks.
//
// A file is valid when the marker matches, its size is exactly what L gives, the check value matches, and
// E names 1..64 blocks that all lie inside the body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/RandomSource.h"

namespace tarvel {

inline constexpr uint8_t kFirmwareMarkerMask = 0xA5;
inline constexpr std::string_view kFirmwareMarker = "TvlFmWr";
inline constexpr size_t kFirmwareVersionSize = 8;
inline constexpr size_t kFirmwareKeyTableSize = 3290;
inline constexpr size_t kFirmwareBodyOffset = 3315;
inline constexpr size_t kFirmwareTrailerSize = 876;

inline constexpr size_t kFirmwareGroupsPerBlock = 512;
inline constexpr size_t kFirmwareBlockImageSize = 2048;  // image bytes per block, four per group
inline constexpr size_t kFirmwareBlockDataSize = 1536;   // firmware bytes per block, three per group
// A FirmwareBlock packet numbers its block by index x 4 in one byte, so block 64 would look like block 0.
inline constexpr int kMaxFirmwareBlocks = 64;

struct FirmwareFileResult {
  bool valid = false;
  std::string reason;  // why the file is not valid, for the user; empty when valid
  // The rest is set only for a valid file.
  std::string version;         // the version field without its NUL padding; empty unless it starts with 'V'
  uint32_t endValue = 0;       // E
  std::vector<uint8_t> image;  // the descrambled body, groups from image offset 0

  // The number of blocks the host sends for this file.
  int blockCount() const;
};

// The block count for an end value, computed as the host does: (E - 4096) / 1024 + 1.
int64_t FirmwareBlockCount(uint32_t endValue);

FirmwareFileResult ParseFirmwareFile(std::span<const uint8_t> file);

// Throws FileError when the file cannot be read; any content that is not a good firmware file comes back
// as a result that is not valid.
FirmwareFileResult ReadFirmwareFile(const std::filesystem::path& path);

// The image a raw firmware becomes: three bytes and a zero per group, zero groups up to a whole block.
// Throws std::invalid_argument when the firmware is empty or needs more than kMaxFirmwareBlocks blocks.
std::vector<uint8_t> PackFirmwareImage(std::span<const uint8_t> rawFirmware);

// A valid firmware file for the raw firmware; key word, key table and trailer are random. The version
// must start with 'V', hold at most 8 characters and no NUL. Throws std::invalid_argument for a bad version
// or firmware.
std::vector<uint8_t> BuildFirmwareFile(std::span<const uint8_t> rawFirmware, std::string_view version,
                                       RandomSource& random);

// BuildFirmwareFile written to `path` through a temporary file. Throws FileError as well.
void WriteFirmwareFile(const std::filesystem::path& path, std::span<const uint8_t> rawFirmware,
                       std::string_view version, RandomSource& random);

}  // namespace tarvel
