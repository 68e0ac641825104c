// TZ51FxCfgOpbF: the option bytes of Z51F chips (vendor 0), L at OptionData[62] and H at [63]; and the
// 64-byte option page report that the Z51F and Abov families share.
#pragma once

#include "base/InfoLog.h"
#include "chips/ChipSettings.h"
#include "chips/OptionFields.h"

namespace tarvel {

inline constexpr size_t kZ51fOptionPosition = 62;  // L; H follows

// The lists; byte 0 is L and byte 1 is H.
std::span<const BitField> Z51fLayout();

class TZ51FxCfgOpbF : public BitFieldForm {
 public:
  TZ51FxCfgOpbF(ChipSettings& chip, std::span<uint8_t> optionData);

  std::string_view formName() const override { return "TZ51FxCfgOpbF"; }
  void FormShow() override;
  // Stores L' and H' and both configuration bytes. OptionChanged: a byte differs from what was stored.
  void OkClick() override;

 private:
  ChipSettings& chip_;
  std::span<uint8_t> bytes_;  // L, H
};

// "Read Chip n Option Byte : " and four rows of 16 bytes.
inline constexpr size_t kOptionPage64ReportBytes = 64;
void ReportOptionPage64(int channel, std::span<const uint8_t> payload, InfoLog& log);

}  // namespace tarvel
