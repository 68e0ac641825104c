// TCfgAbovOpbF: the option bytes of Abov MC96F chips (vendor 3). The low byte L and the high byte H end
// the option page: L at PageSize - 2, H at PageSize - 1 of OptionData.
#pragma once

#include <optional>

#include "chips/ChipSettings.h"
#include "chips/OptionFields.h"

namespace tarvel {

// Where L sits in OptionData (H follows it); nothing for a page size that leaves no room for both bytes
// inside OptionData.
std::optional<size_t> AbovOptionPosition(uint16_t pageSize);

// The lists; byte 0 is L and byte 1 is H.
std::span<const BitField> AbovLayout();

class TCfgAbovOpbF : public BitFieldForm {
 public:
  // The chip's PageSize must give a position (AbovOptionPosition).
  TCfgAbovOpbF(ChipSettings& chip, std::span<uint8_t> optionData);

  std::string_view formName() const override { return "TCfgAbovOpbF"; }
  void FormShow() override;
  // Stores L' and H' and both configuration bytes. OptionChanged: either byte is non-zero, so that any
  // protection or pin setting gets programmed.
  void OkClick() override;

 private:
  ChipSettings& chip_;
  std::span<uint8_t> bytes_;  // L, H
};

}  // namespace tarvel
