#include "ui/SetOfsAddr.h"

#include "base/Format.h"
#include "base/Numbers.h"

namespace tarvel {

void TFormOfsAddr::FormShow() {
  chip_.BinOffset = chip_.FlashStart;
  EditOfsAddr.text = Format("0x%0.8x", chip_.FlashStart);
}

bool TFormOfsAddr::setControl(std::string_view control, std::string_view value) {
  if (control != EditOfsAddr.name) return false;
  EditOfsAddr.text = value;
  return true;
}

void TFormOfsAddr::OkClick() {
  const int64_t address = StrToInt(EditOfsAddr.text);
  chip_.BinOffset = static_cast<uint32_t>(address) - chip_.FlashStart;
}

}  // namespace tarvel
