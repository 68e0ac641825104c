// TCfgChipOnXxF: the two configuration bytes of ChipON KF8 chips (vendor 5, ChipSubtype bit 7 clear),
// which travel to the units as ConfigByte0 and ConfigByte1.
#pragma once

#include "chips/ChipSettings.h"
#include "chips/OptionFields.h"

namespace tarvel {

inline constexpr char kChipOnCaption[] = "ChipOn配置位设置";

// The lists; byte 0 is ConfigByte0 and byte 1 ConfigByte1.
std::span<const BitField> ChipOnKf8Layout();

class TCfgChipOnXxF : public BitFieldForm {
 public:
  explicit TCfgChipOnXxF(ChipSettings& chip);

  std::string_view formName() const override { return "TCfgChipOnXxF"; }
  void FormShow() override;
  // Both bytes start as 0xFF: the bits without a list stay 1. OptionChanged is set by changing a list.
  void OkClick() override;

 protected:
  void ListChange(const BitField&) override { OptionChanged = true; }

 private:
  ChipSettings& chip_;
};

}  // namespace tarvel
