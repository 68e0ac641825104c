// TSetAddressForm: start and length of a chip read of a specific address range.
#pragma once

#include "base/Controls.h"
#include "base/DialogService.h"

namespace tarvel {

// Kept by the main window between uses of the dialog.
struct ReadRange {
  uint32_t start = 0;
  int64_t length = 64;
};

class TSetAddressForm : public ModalDialog {
 public:
  // `familyCode` of the selected chip sets the longest read: 1024 bytes, or 256 when it is 0.
  TSetAddressForm(ReadRange& range, uint8_t familyCode) : range_(range), familyCode_(familyCode) {
    SpinEditRD.maxDigits = 4;
  }

  std::string_view formName() const override { return "TSetAddressForm"; }
  void FormShow() override;
  bool setControl(std::string_view control, std::string_view value) override;
  void OkClick() override;  // throws ConversionError for an address that is not a number
  std::vector<Control*> controls() override { return {&Label1, &EditAddr, &Label2, &SpinEditRD}; }
  std::string dialogCaption() const override { return "Specify Read Address"; }

  LabelControl Label1{"Label1", "设置需要读取的首地址："};
  EditControl EditAddr{"EditAddr", "", ""};
  LabelControl Label2{"Label2", "设置需要读取的数据长度："};
  SpinEdit SpinEditRD{"SpinEditRD", "", 16, 1024, 16, 64};
  ButtonControl BitBtnOK{"BitBtnOK", "OK"};

 private:
  ReadRange& range_;
  uint8_t familyCode_;
};

}  // namespace tarvel
