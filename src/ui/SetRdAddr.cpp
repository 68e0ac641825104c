#include "ui/SetRdAddr.h"

#include <charconv>

#include "base/Format.h"
#include "base/Numbers.h"

namespace tarvel {

void TSetAddressForm::FormShow() {
  SpinEditRD.maxValue = familyCode_ != 0 ? 1024 : 256;
  SpinEditRD.value = SpinEditRD.clamp(range_.length);
  EditAddr.text = Format("0x%0.8x", range_.start);
}

bool TSetAddressForm::setControl(std::string_view control, std::string_view value) {
  if (control == EditAddr.name) {
    EditAddr.text = value;
    return true;
  }
  if (control == SpinEditRD.name) {
    int64_t v = 0;
    const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc() || p != value.data() + value.size()) return false;
    SpinEditRD.value = SpinEditRD.clamp(v);  // a spin edit keeps its value inside its range
    return true;
  }
  return false;
}

void TSetAddressForm::OkClick() {
  const int64_t start = StrToInt(EditAddr.text);
  range_.start = static_cast<uint32_t>(start) & ~0xFu;
  range_.length = SpinEditRD.value;
}

}  // namespace tarvel
