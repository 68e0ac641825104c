#include "image/LoadSummary.h"

#include "base/Format.h"

namespace tarvel {

StatusTexts WriteLoadSummary(InfoLog& log, MemoryImage& image, const SummaryWindows& w) {
  image.UpdateFlashChecksums(w.FlashStart, w.FlashEnd);
  log.Line();
  log.MainMessage(Format("目标文件首地址 = 0x%0.4x.", image.LowestLoadedAddress));
  log.MainMessage(Format("目标文件尾地址 = 0x%0.4x.", image.HighestLoadedAddress));
  log.MainMessage(Format("目标文件 ACC32 CheckSum = 0x%0.8x", image.FileByteSum));
  log.Line();
  log.MainMessage(Format("目标Flash首地址 = 0x%0.4x.", w.FlashStart));
  log.MainMessage(Format("目标Flash尾地址 = 0x%0.4x.", w.FlashEnd));
  log.Line();
  log.MainMessage(Format("Chip Main Flash ACC32 CheckSum = 0x%0.8x", image.FlashSum));
  log.MainMessage(Format("Main Flash CRC/ACC CheckSum = 0x%0.4x/0x%0.4x", image.FlashCrc16, image.FlashAcc16));
  if (w.EepSize > 0) {
    log.Line();
    log.MainMessage(Format("目标EEP Data首地址 = 0x%0.4x.", w.EepStart));
    log.MainMessage(Format("目标EEP Data尾地址 = 0x%0.4x.", w.EepEnd));
  }
  log.Line();
  return {Format("文件校验和：0x%0.8x", image.FileByteSum), Format("芯片校验和：0x%0.8x", image.FlashSum)};
}

}  // namespace tarvel
