#include "image/MemoryImage.h"

#include <gtest/gtest.h>

#include <memory>

#include "image/Checksums.h"

namespace tarvel {
namespace {

TEST(MemoryImage, ClearingFillsFlashAndEepButNotOptionData) {
  auto img = std::make_unique<MemoryImage>();
  img->FillForStartup();
  EXPECT_EQ(img->FlashImage.back(), 0xFF);
  EXPECT_EQ(img->OptionData[4095], 0xFF);
  img->OptionData[7] = 0x42;
  img->Clear(0x00);
  EXPECT_EQ(img->FlashImage.front(), 0x00);
  EXPECT_EQ(img->FlashImage.back(), 0x00);
  EXPECT_EQ(img->EepImage.back(), 0x00);
  EXPECT_EQ(img->OptionData[7], 0x42);
  EXPECT_EQ(img->OptionData[0], 0xFF);
}

TEST(MemoryImage, FlashChecksumsUseWindowOffsetsEvenForHighWindows) {
  auto img = std::make_unique<MemoryImage>();
  img->FlashImage[0] = 1;
  img->FlashImage[0xFFFFF] = 2;
  img->FlashImage[0x100000] = 100;  // outside a 1 MiB window
  img->UpdateFlashChecksums(0x18000000, 0x180FFFFF);
  EXPECT_EQ(img->FlashSum, 3u);
  EXPECT_EQ(img->FlashAcc16, 3);
  EXPECT_EQ(img->FlashCrc16, ImageCrc16(img->FlashImage, 0, 0xFFFFF));
  EXPECT_NE(img->FlashCrc16, 0);

  img->UpdateFlashChecksums(0x1000, 0x0FFF);  // inverted window: refused, 0
  EXPECT_EQ(img->FlashSum, 0u);
  EXPECT_EQ(img->FlashCrc16, 0);
}

TEST(MemoryImage, EepAndOptionChecksumsCoverTheirRanges) {
  auto img = std::make_unique<MemoryImage>();
  img->EepImage.fill(1);
  img->UpdateEepChecksums(128);
  EXPECT_EQ(img->EepAcc16, 128);
  img->UpdateEepChecksums(0);  // no EEP
  EXPECT_EQ(img->EepAcc16, 0);
  EXPECT_EQ(img->EepCrc16, 0);
  img->OptionData.fill(1);
  img->UpdateOptionChecksums();
  EXPECT_EQ(img->OptionAcc16, 256);
}

TEST(MemoryImage, UsedFlashScan) {
  struct Case {
    const char* what;
    uint32_t chipKB;
    uint32_t imageOffset;
    bool blankIsZero;
    int64_t markIndex;  // -1: image all blank
    uint32_t expectKB;
  };
  const Case cases[] = {
      {"all blank keeps 4 KB", 512, 0, false, -1, 4},
      {"last used byte inside KB 20", 512, 0, false, 0x4FFF, 20},
      {"one byte into the next KB", 512, 0, false, 0x5000, 21},
      {"used up to the last byte", 512, 0, false, 512 * 1024 - 1, 512},
      {"a byte below 4 KB still gives 4 KB", 512, 0, false, 0x10, 4},
      {"blank 0x00", 64, 0, true, 0x7FFF, 32},
      {"high flash start masks to the row range", 1024, 0x18000000, false, 0xFFFFF, 1024},
      {"chip below 4 KB keeps its size", 2, 0, false, -1, 2},
  };
  for (const Case& c : cases) {
    auto img = std::make_unique<MemoryImage>();
    const uint8_t blank = c.blankIsZero ? 0x00 : 0xFF;
    img->FlashImage.fill(blank);
    if (c.markIndex >= 0) img->FlashImage[static_cast<size_t>(c.markIndex)] = 0x5A;
    EXPECT_EQ(UsedFlashSizeKB(*img, {c.chipKB, c.imageOffset, c.blankIsZero}), c.expectKB) << c.what;
  }
}

}  // namespace
}  // namespace tarvel
