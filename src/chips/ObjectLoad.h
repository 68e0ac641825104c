// Loading object files for the selected chip: dispatch by extension, the family's post-load steps, the
// EEP data file load and the boot-loader data load. The results that concern window controls (check
// boxes, views, status bar) come back as plain data for the main window to apply.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "chips/ChipSettings.h"
#include "image/AddressWindows.h"
#include "image/LoadSummary.h"
#include "image/MemoryImage.h"

namespace tarvel {

struct LoadContext {
  ChipSettings& settings;
  MemoryImage& image;
  DialogService& dialogs;
  InfoLog& log;
  // Shows the BIN offset dialog, which sets settings.BinOffset.
  std::function<void()> askBinOffset;
};

// What the main window does after a load.
struct LoadOutcome {
  std::optional<bool> eepChecked;     // ChkBoxEEP
  std::optional<bool> optionChecked;  // CheckBoxOpt
  bool refreshFlashView = false;      // over FlashStart..FlashEnd; marks the object file as loaded
  bool refreshEepView = false;        // recomputes the EEP checksums, writes their line
  bool refreshOptionView = false;
  bool showKf32Config = false;        // KF32 chips: the decoded configuration instead of the option view
  std::optional<StatusTexts> status;  // status-bar panels 0 and 1
};

AddressWindows WindowsOf(const ChipSettings& s);
SummaryWindows SummaryWindowsOf(const ChipSettings& s);

// The upper-cased extension from the last '.', dot included ("" when there is none).
std::string UpperExtension(const std::filesystem::path& path);

// Dispatch by extension and the post-load steps (every vendor but 8).
LoadOutcome LoadObjectFile(const std::filesystem::path& path, LoadContext& ctx);

// The main load of vendor 8 chips: a sectioned firmware file whatever its extension; sets the flash size
// to download and the settings bytes from the packed records.
LoadOutcome LoadImotionFirmware(const std::filesystem::path& path, LoadContext& ctx);

// The EEP data file load into EepImage (the images were filled by the caller as the load requires).
LoadOutcome LoadEepDataFile(const std::filesystem::path& path, LoadContext& ctx);

// The boot-loader data load: EepImage := 0x00, file data, CRC-32; sets BootDataSize.
void LoadBootData(const std::filesystem::path& path, LoadContext& ctx);

}  // namespace tarvel
