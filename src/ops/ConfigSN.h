// Fixed data written into the images before programming: TConfigSNForm ("Config S/N Constant") for the
// main flash (or EEP) image, THolySNxUIDxFRM for the option data (S/N base data at 0x00, user ID at 0x08).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Controls.h"
#include "base/DialogService.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"

namespace tarvel {

// The bytes of a data field: the text's own bytes (GBK), or the hexadecimal groups separated by blanks,
// each group giving the value of its digits modulo 256 (characters other than hex digits count as 0).
std::vector<uint8_t> SerialDataBytes(const std::string& text, bool hexadecimal);

class TConfigSNForm : public ModalDialog {
 public:
  TConfigSNForm(DialogService& dialogs, const ChipSettings& chip, MemoryImage& image)
      : dialogs_(dialogs), chip_(chip), image_(image) {
    AddrEditSN.maxLength = 10;
    EditDataSN.maxLength = 255;
  }

  std::string_view formName() const override { return "TConfigSNForm"; }
  void FormShow() override;
  bool setControl(std::string_view control, std::string_view value) override;
  // Writes the data; throws ConversionError for an address that is not a number.
  void OkClick() override;
  void RadioGrpSNClick();

  // What OK wrote: 0 main flash, 1 EEP; -1 nothing.
  int written = -1;
  std::vector<Control*> controls() override { return {&AddrEditSN, &RadioGrpSN, &RadioGroupFM, &EditDataSN}; }
  std::string dialogCaption() const override { return caption; }
  bool okAccepted() const override { return written >= 0; }  // empty data: said so, the user may type it

  std::string caption = "Config S/N Constant";
  EditControl AddrEditSN{"AddrEditSN", "数据存储首地址：   ", ""};
  RadioGroup RadioGrpSN{"RadioGrpSN", " SN地址区域 ", {"主数据地址区", "EEP数据地址区"}, 0};
  RadioGroup RadioGroupFM{"RadioGroupFM", "数据格式", {"字符串数据", "16进制数据"}, 0};
  EditControl EditDataSN{"EditDataSN", "数据内容(16进制格式以空格分隔）：   ", ""};

 private:
  DialogService& dialogs_;
  const ChipSettings& chip_;
  MemoryImage& image_;
};

class THolySNxUIDxFRM : public ModalDialog {
 public:
  THolySNxUIDxFRM(DialogService& dialogs, MemoryImage& image, std::string address)
      : dialogs_(dialogs), image_(image) {
    AddrEditSN.text = std::move(address);
    AddrEditSN.maxLength = 4;
    EditDataSN.maxLength = 24;
  }

  std::string_view formName() const override { return "THolySNxUIDxFRM"; }
  bool setControl(std::string_view control, std::string_view value) override;
  void OkClick() override;

  bool written = false;
  std::vector<Control*> controls() override { return {&AddrEditSN, &RadioGroupFM, &EditDataSN}; }
  std::string dialogCaption() const override { return "Set User Data"; }
  bool okAccepted() const override { return written; }
  EditControl AddrEditSN{"AddrEditSN", "数据存储首地址：   ", ""};
  RadioGroup RadioGroupFM{"RadioGroupFM", "数据格式", {"字符串数据", "16进制数据"}, 0};
  EditControl EditDataSN{"EditDataSN", "数据内容(16进制格式以空格分隔）：   ", ""};

 private:
  DialogService& dialogs_;
  MemoryImage& image_;
};

}  // namespace tarvel
