// Log settings (TLogCfgForm, kept in "GenLogX.cfg") and the log file written when the program closes.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>

#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "base/Controls.h"

namespace tarvel {

inline constexpr const char* kLogSettingsFile = "GenLogX.cfg";
inline constexpr const char* kLogDirectory = "GenZPNxLogS";

class TLogCfgForm : public ModalDialog {
 public:
  TLogCfgForm(DialogService& dialogs, std::filesystem::path programDir)
      : dialogs_(dialogs), programDir_(std::move(programDir)) {}

  std::string_view formName() const override { return "TLogCfgForm"; }
  bool setControl(std::string_view control, std::string_view value) override;
  void OkClick() override;  // refuses an empty customer file name ("请输入有效的Log文件名称！")
  std::string caption = "Config Log File.";
  std::vector<Control*> controls() override {
    return {&CheckBoxLog, &RadioGrpCreat, &RadioGrpMod, &EditLogName, &SpeedButtonOP};
  }
  std::string dialogCaption() const override { return caption; }
  bool clickControl(std::string_view control) override {
    if (control != SpeedButtonOP.name) return false;
    SpeedButtonOPClick();
    return true;
  }
  bool okAccepted() const override { return accepted; }

  void CheckBoxLogClick();
  void RadioGrpCreatClick();
  void SpeedButtonOPClick();

  // Settings file in the program directory.
  void ReadLogSettings();
  void WriteLogSettings();  // when the dialog closes
  // At exit: the whole information panel as a GBK text file with CR LF line ends.
  void WriteLog(const InfoLog& log, std::time_t now = std::time(nullptr));
  // Why the last WriteLog wrote nothing although it should have; empty when it succeeded.
  std::string lastWriteError;
  // The file a system-named log gets at `now`.
  std::filesystem::path SystemLogPath(std::time_t now) const;

  // True after OkClick accepted the settings (the dialog may close).
  bool accepted = false;

  CheckBox CheckBoxLog{"CheckBoxLog", "生成Logog文件", true};
  RadioGroup RadioGrpCreat{"RadioGrpCreat", "Log文件生成方式", {"系统自动生成Logo文件", "客户指定Log文件"}, 0};
  RadioGroup RadioGrpMod{"RadioGrpMod", "客户Log文件配置", {"生成新的文件", "覆盖原文件", "追加到原文件尾部"}, 0};
  EditControl EditLogName{"EditLogName", "", "GenMGx2021.log"};
  ButtonControl SpeedButtonOP{"SpeedButtonOP", "浏览"};

 private:
  void updateEnabled();

  DialogService& dialogs_;
  std::filesystem::path programDir_;
};

}  // namespace tarvel
