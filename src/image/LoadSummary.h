// The summary written to the information panel after a main load or a project load.
#pragma once

#include <cstdint>
#include <string>

#include "base/InfoLog.h"
#include "image/MemoryImage.h"

namespace tarvel {

struct SummaryWindows {
  uint32_t FlashStart = 0;
  uint32_t FlashEnd = 0;
  uint32_t EepStart = 0;
  uint32_t EepEnd = 0;
  uint16_t EepSize = 0;
};

struct StatusTexts {
  std::string fileSum;  // status-bar panel 0
  std::string chipSum;  // status-bar panel 1
};

// Recomputes the flash checksums over the flash window and appends the summary lines.
StatusTexts WriteLoadSummary(InfoLog& log, MemoryImage& image, const SummaryWindows& w);

}  // namespace tarvel
