// Sectioned firmware files of the motor-control chips: text lines of section markers and "A0" data
// records, packed into FlashImage as 16-byte-aligned records from index 0. The record count and the end
// of the packed records give the flash size to download and four settings bytes, which the caller
// applies to the chip settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "image/MemoryImage.h"

namespace tarvel {

struct SectionedFirmwareSettings {
  uint32_t FlashStart = 0;
  uint32_t FlashEnd = 0;  // EndPosition | 0x3FF
  uint16_t FlashSizeKB = 0;
  uint16_t FlashUnits = 0;
  uint8_t EraseKey = 0;          // low byte of the record count
  uint8_t ProgTiming1 = 0;       // high byte of the record count
  uint8_t ProgTiming2 = 0;       // low byte
  uint8_t TopReservedWords = 0;  // high byte
};

struct SectionedFirmwareResult {
  uint32_t RecordCount = 0;   // section openings and data records; the units get it as 16 bits
  uint64_t EndPosition = 0;   // image index after the last record
  uint64_t DroppedBytes = 0;  // record bytes that fell beyond FlashImage and were not stored
  // Absent when the records do not fit FlashImage or their count does not fit 16 bits: settings for a
  // cut-off record list would make the units program an incomplete firmware. The caller then shows
  // SectionedFirmwareTooLargeText and leaves the chip settings as they were.
  std::optional<SectionedFirmwareSettings> Settings;
};

// Throws FileError when the file cannot be read, ConversionError for a data record whose b1, b2, b3 or n
// is missing or not hexadecimal (the records before it stay in the image).
SectionedFirmwareResult LoadSectionedFirmware(const std::filesystem::path& path, MemoryImage& image);

// The error box text for a result without settings.
std::string SectionedFirmwareTooLargeText(const SectionedFirmwareResult& result);

}  // namespace tarvel
