// TSC92XxOpbForm: the SC9x option-byte dialog for SC92 chips (ChipSubtype 16 and 18). Same bytes and
// bits as the SC95 dialog; the reset pin, LDROM and IAP lists name the SC92 parts' own ranges.
#pragma once

#include "chips/CfgSC95XxRT.h"

namespace tarvel {

std::span<const BitField> Sc92Layout();

class TSC92XxOpbForm : public Sc9xOptionForm {
 public:
  TSC92XxOpbForm(ChipSettings& chip, std::span<uint8_t> optionData) : Sc9xOptionForm(chip, optionData, Sc92Layout()) {}
  std::string_view formName() const override { return "TSC92XxOpbForm"; }
};

}  // namespace tarvel
