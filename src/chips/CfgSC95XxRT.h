// SC9x option bytes (vendor 1): four bytes at OptionData[0..3] - 0x5A, read protection (0x96 readable,
// 0xFF protected) and the two configuration bytes A and B, whose bit fields the lists edit.
// TSC95XxOpbForm serves SC95 chips (ChipSubtype < 16); TSC92XxOpbForm (CfgSC92XxRT.h) the SC92 chips.
#pragma once

#include <cstdint>
#include <span>

#include "base/InfoLog.h"
#include "chips/ChipSettings.h"
#include "chips/OptionFields.h"

namespace tarvel {

inline constexpr uint8_t kSc9xReadable = 0x96;
inline constexpr uint8_t kSc9xProtected = 0xFF;
inline constexpr uint8_t kSc9xLeadByte = 0x5A;

// The SC95 dialog's lists: byte 2 (configuration byte A) and byte 3 (configuration byte B) of OptionData.
std::span<const BitField> Sc95Layout();

// The dialog both SC9x series share; only some item texts differ.
class Sc9xOptionForm : public BitFieldForm {
 public:
  Sc9xOptionForm(ChipSettings& chip, std::span<uint8_t> optionData, std::span<const BitField> layout);

  void FormShow() override;
  bool setControl(std::string_view control, std::string_view value) override;
  // Writes OptionData[0..3] and both configuration bytes. OptionChanged: anything to program besides
  // the readable default, that is byte 1 protected or any of OptionData[2..511] non-zero.
  void OkClick() override;
  std::vector<Control*> Controls() override;

  ComboBoxControl ComBoxROP{"ComBoxROP", "加密设置", ""};

 private:
  ChipSettings& chip_;
  std::span<uint8_t> option_;
};

class TSC95XxOpbForm : public Sc9xOptionForm {
 public:
  TSC95XxOpbForm(ChipSettings& chip, std::span<uint8_t> optionData) : Sc9xOptionForm(chip, optionData, Sc95Layout()) {}
  std::string_view formName() const override { return "TSC95XxOpbForm"; }
};

// The option bytes read back: "Read Chip n Option Byte : 0x.. 0x.. 0x.. 0x.. ".
inline constexpr size_t kSc9xReportBytes = 4;
void ReportSc9xOptionBytes(int channel, std::span<const uint8_t> payload, InfoLog& log);

}  // namespace tarvel
