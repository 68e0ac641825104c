// TAboutForm: the product line, the version and an OK button.
#pragma once

#include "base/Controls.h"
#include "base/DialogService.h"

namespace tarvel {

class TAboutForm : public ModalDialog {
 public:
  std::string_view formName() const override { return "TAboutForm"; }
  bool setControl(std::string_view, std::string_view) override { return false; }
  void OkClick() override {}
  std::vector<Control*> controls() override { return {&LabelAT, &LabelVersion, &LabelMaker}; }
  std::string dialogCaption() const override { return caption; }
  std::vector<std::pair<Button, std::string>> closeButtons() const override { return {{Button::OK, OKButton.caption}}; }

  std::string caption = "About";
  LabelControl LabelAT{"LabelAT", ""};
  LabelControl LabelVersion{"LabelVersion", "Version V3.0"};
  LabelControl LabelMaker{"LabelMaker", "Gang-programmer host for Linux"};
  ButtonControl OKButton{"OKButton", "OK"};
};

}  // namespace tarvel
