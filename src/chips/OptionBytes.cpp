#include "chips/OptionBytes.h"

#include "base/Format.h"
#include "chips/CfgAbovRT.h"
#include "chips/CfgChipOnX.h"
#include "chips/CfgHC8AT3X.h"
#include "chips/CfgKF32xRT.h"
#include "chips/CfgSC92XxRT.h"
#include "chips/CfgSC95XxRT.h"
#include "chips/CfgZ51FxRT.h"
#include "chips/OptionFields.h"

namespace tarvel {

std::unique_ptr<OptionDialog> MakeOptionDialog(uint8_t vendor, ChipSettings& chip, MemoryImage& image) {
  const std::span<uint8_t> option = image.OptionData;
  switch (vendor) {
    case 0: return std::make_unique<TZ51FxCfgOpbF>(chip, option);
    case 1:
      if (chip.ChipSubtype > 15) return std::make_unique<TSC92XxOpbForm>(chip, option);
      return std::make_unique<TSC95XxOpbForm>(chip, option);
    case 3:
      if (!AbovOptionPosition(chip.PageSize)) return nullptr;
      return std::make_unique<TCfgAbovOpbF>(chip, option);
    case 5:
      if (chip.ChipSubtype & 0x80) return std::make_unique<TCfgKF32xxFrm>(chip, option);
      return std::make_unique<TCfgChipOnXxF>(chip);
    case 6: return std::make_unique<THC8AT3XCfgFRM>(chip, option);
    default: return nullptr;
  }
}

OptionDialogResult OpenOptionDialog(uint8_t vendor, ChipSettings& chip, MemoryImage& image, DialogService& dialogs,
                                    bool optionChecked) {
  OptionDialogResult r;
  r.optionChanged = optionChecked;
  r.refreshOptionView = vendor != 5;
  r.refreshKf32View = vendor == 5 && (chip.ChipSubtype & 0x80) != 0;
  const std::unique_ptr<OptionDialog> dialog = MakeOptionDialog(vendor, chip, image);
  if (!dialog) return r;
  r.shown = true;
  r.accepted = dialogs.showModal(*dialog) == Button::OK;
  if (!r.accepted) return r;
  r.optionChanged = dialog->OptionChanged;
  r.setsOptionEnabled = vendor == 1;
  return r;
}

void ReportOptionBytes(uint8_t vendor, const ChipSettings& chip, int channel, std::span<const uint8_t> payload,
                       InfoLog& log) {
  switch (vendor) {
    case 0:
    case 3: ReportOptionPage64(channel, payload, log); break;
    case 1: ReportSc9xOptionBytes(channel, payload, log); break;
    case 5: ReportChipOnOptionBytes(chip, channel, payload, log); break;
    case 6: ReportHc8atOptionPage(channel, payload, log); break;
    default:
      if (!OptionReplyComplete(channel, payload, 2, log)) return;
      log.MainMessage(Format("Read Chip %d Option Byte : 0x%0.2x%0.2x.", channel + 1, payload[1], payload[0]));
      break;
  }
}

}  // namespace tarvel
