// The host-side memory images: everything the host sends to the units or has read back from them.
// There is one MemoryImage for the whole run; its buffers have fixed sizes that do not follow the chip.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarvel {

inline constexpr size_t kFlashImageSize = 2099216;  // 131,201 rows of 16 bytes
inline constexpr size_t kEepImageSize = 65536;
inline constexpr size_t kOptionDataSize = 4096;
// The used-size scan and the project file address flash rows with 16-bit row numbers: 1 MiB.
inline constexpr uint32_t kFlashRowIndexMask = 0xFFFFF;

struct MemoryImage {
  std::array<uint8_t, kFlashImageSize> FlashImage{};
  std::array<uint8_t, kEepImageSize> EepImage{};
  std::array<uint8_t, kOptionDataSize> OptionData{};

  bool EepDataPresent = false;
  bool OptionDataPresent = false;

  // Statistics of the last main load.
  uint32_t LowestLoadedAddress = 0xFFFFFFFF;
  uint32_t HighestLoadedAddress = 0;
  uint32_t FileByteSum = 0;

  uint32_t FlashSum = 0;
  uint16_t FlashAcc16 = 0;
  uint16_t FlashCrc16 = 0;
  uint16_t EepAcc16 = 0;
  uint16_t EepCrc16 = 0;
  uint16_t OptionAcc16 = 0;
  uint16_t OptionCrc16 = 0;

  uint8_t BlankValue = 0x00;  // fill of a cleared image: 0x00 or 0xFF

  // Boot-loader bytes to download from EepImage, the appended CRC-32 included.
  uint16_t BootDataSize = 0;

  // Fills FlashImage and EepImage (not OptionData) with `blank`.
  void Clear(uint8_t blank);
  // The start-up state: all three buffers 0xFF.
  void FillForStartup();
  void ResetLoadStatistics();

  // Checksums over the flash window, always taken over window offsets 0 .. flashEnd - flashStart, so a
  // window that starts high (0x18000000) still gets real sums.
  void UpdateFlashChecksums(uint32_t flashStart, uint32_t flashEnd);
  // Over EepImage[0 .. eepSize - 1]; 0 for a chip without EEP.
  void UpdateEepChecksums(uint16_t eepSize);
  // Over OptionData[0..255].
  void UpdateOptionChecksums();
};

// The used part of the flash image in KB, for chips whose download sends only what is used: scans down
// from the chip's full size for the last byte that is not blank, and rounds up to a whole KB. Never less
// than 4 KB when the chip has 4 KB or more.
struct UsedFlashScanInput {
  uint32_t chipFlashSizeKB;  // the chip's full flash size, kept when it was selected
  uint32_t imageOffset;
  bool blankIsZero;          // erased flash reads 0x00 instead of 0xFF
};
uint32_t UsedFlashSizeKB(const MemoryImage& image, const UsedFlashScanInput& in);

}  // namespace tarvel
