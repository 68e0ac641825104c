// SoC project files (.socprj) of a chip vendor's tool: a chip-information block, data-area descriptors,
// the application flash data (to FlashImage from index 0) and two data areas (to EepImage), plus up to
// four option bytes. A summary of the file goes to the information panel.
#pragma once

#include <cstdint>
#include <filesystem>

#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "image/MemoryImage.h"

namespace tarvel {

inline constexpr int kSocProjectWrongFormat = 2;

struct SocProjectResult {
  int Code = 0;                // 0, or kSocProjectWrongFormat after the format box
  bool OptionChanged = false;  // the file set option bytes; the caller checks the option box
};

// Every byte read, skipped ones included, is added to image.FileByteSum (not reset here);
// LowestLoadedAddress := 0 and HighestLoadedAddress := flash size - 1 (0 without flash data).
// Bytes beyond FlashImage or EepImage are dropped. Throws FileError when the file cannot be read or ends
// early; what was read until then stays in the images.
SocProjectResult LoadSocProject(const std::filesystem::path& path, MemoryImage& image, DialogService& dialogs,
                                InfoLog& log);

}  // namespace tarvel
