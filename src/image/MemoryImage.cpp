#include "image/MemoryImage.h"

#include <algorithm>

#include "image/Checksums.h"

namespace tarvel {

void MemoryImage::Clear(uint8_t blank) {
  FlashImage.fill(blank);
  EepImage.fill(blank);
}

void MemoryImage::FillForStartup() {
  FlashImage.fill(0xFF);
  EepImage.fill(0xFF);
  OptionData.fill(0xFF);
}

void MemoryImage::ResetLoadStatistics() {
  LowestLoadedAddress = 0xFFFFFFFF;
  HighestLoadedAddress = 0;
  FileByteSum = 0;
}

void MemoryImage::UpdateFlashChecksums(uint32_t flashStart, uint32_t flashEnd) {
  // An inverted window wraps to a huge offset, which the checksum guards turn into 0.
  const uint32_t last = flashEnd - flashStart;
  FlashSum = ImageSum(FlashImage, 0, last);
  FlashAcc16 = static_cast<uint16_t>(FlashSum);
  FlashCrc16 = ImageCrc16(FlashImage, 0, last);
}

void MemoryImage::UpdateEepChecksums(uint16_t eepSize) {
  const uint32_t last = static_cast<uint32_t>(eepSize) - 1;  // wraps for 0: empty
  EepAcc16 = static_cast<uint16_t>(ImageSum(EepImage, 0, last));
  EepCrc16 = ImageCrc16(EepImage, 0, last);
}

void MemoryImage::UpdateOptionChecksums() {
  OptionAcc16 = static_cast<uint16_t>(ImageSum(OptionData, 0, 255));
  OptionCrc16 = ImageCrc16(OptionData, 0, 255);
}

uint32_t UsedFlashSizeKB(const MemoryImage& image, const UsedFlashScanInput& in) {
  const uint8_t blank = in.blankIsZero ? 0x00 : 0xFF;
  int64_t n = static_cast<int64_t>(in.chipFlashSizeKB) * 1024 - 1;
  if (n >= 4095) {
    while (n != 4094 &&
           image.FlashImage[(in.imageOffset + static_cast<uint32_t>(n)) & kFlashRowIndexMask] == blank)
      --n;
  }
  if (n < 0) return 0;
  return static_cast<uint32_t>(((n | 0x3FF) + 1) >> 10);
}

}  // namespace tarvel
