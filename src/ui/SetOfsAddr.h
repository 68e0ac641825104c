// TFormOfsAddr: where a raw binary file goes in the flash image.
#pragma once

#include "base/DialogService.h"
#include "chips/ChipSettings.h"
#include "base/Controls.h"

namespace tarvel {

class TFormOfsAddr : public ModalDialog {
 public:
  explicit TFormOfsAddr(ChipSettings& chip) : chip_(chip) {}

  std::string_view formName() const override { return "TFormOfsAddr"; }
  void FormShow() override;
  bool setControl(std::string_view control, std::string_view value) override;
  // Throws ConversionError for text that is not a number; BinOffset then stays as the show step left it.
  void OkClick() override;
  std::vector<Control*> controls() override { return {&Label1, &EditOfsAddr}; }
  std::string dialogCaption() const override { return "设置BIN文件偏移地址"; }

  LabelControl Label1{"Label1", "设置BIN文件偏移地址："};
  EditControl EditOfsAddr{"EditOfsAddr", "", ""};
  ButtonControl BitBtn1{"BitBtn1", "OK"};

 private:
  ChipSettings& chip_;
};

}  // namespace tarvel
