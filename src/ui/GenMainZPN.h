// TGenMFrmZPN: the main window as a model, without any widget toolkit. It owns the whole state of the
// host (image, chip settings, information log, controls) and holds the handlers of every command.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "chips/Catalogue.h"
#include "chips/ChipSettings.h"
#include "chips/ObjectLoad.h"
#include "image/MemoryImage.h"
#include "base/Controls.h"
#include "ui/SetOfsAddr.h"

namespace tarvel {

inline constexpr const char* kMcuNameStartText = "请选择目标MCU的型号...";

class TGenMFrmZPN {
 public:
  explicit TGenMFrmZPN(DialogService& dialogs, InfoLog::Clock clock = LocalTimeText);

  // ---- state ----
  ChipSettings Chip;
  std::unique_ptr<MemoryImage> Image = std::make_unique<MemoryImage>();
  InfoLog Log;
  DialogService& Dialogs;
  bool ObjectFileLoaded = false;
  std::string ObjectFileName;
  TFormOfsAddr FormOfsAddr{Chip};

  // ---- controls ----
  EditControl MCUNameEdit{"MCUNameEdit", "MCU 型号：", kMcuNameStartText, 16};
  LabelControl lbFlashSize{"lbFlashSize", ""};
  CheckBox ChkBoxEEP{"ChkBoxEEP", "烧写EEP数据"};
  CheckBox CheckBoxOpt{"CheckBoxOpt", "Program Option Byte"};
  RadioGroup RadioGrpBKF{"RadioGrpBKF", "空白填充", {"空白填00", "空白填FF"}, 0};
  ButtonControl BitBtnLdBSL{"BitBtnLdBSL", "加载BSL"};
  PageControl TabSheetEEP{"TabSheetEEP", "EEP Data"};
  PageControl TabSheetCfg{"TabSheetCfg", "Option Data"};
  EditControl ProductEdit{"ProductEdit", "", ""};
  MenuItem LoadEepDataFile1{"LoadEepDataFile1", "Load EEP Data File"};
  MenuItem SaveEepDatatoFile1{"SaveEepDatatoFile1", "Save EEP Data to File"};
  std::array<StatusPanel, 3> StatusBar1{{{"文件校验和：", 150}, {"芯片校验和：", 150}, {"", 300}}};

  // ---- chip selection ----
  // The chip dialog's OK for any catalogue entry, then what the chip button does after the dialog.
  void ConfirmChip(const ChipDescriptor& chip);
  // Runs on every change of MCUNameEdit's text: adapts the window to the chip's family.
  void MCUNameEditChange();

  // ---- files ----
  void SpdBtnOpenClick();            // load object file, clearing the images
  void SpdBtnLoadMoreClick();        // load another file into the current images
  void LoadEepDataFile1Click();      // load an EEP data file
  void BitBtnLdBSLClick();           // load boot-loader data
  void SaveFile1Click();             // save the flash window (binary, HEX or S-record)
  void SaveEepDatatoFile1Click();    // save the EEP data as binary

  // ---- views ----
  // Recomputes the EEP checksums, reports them, and checks "烧写EEP数据" when the EEP image holds data.
  void ShowEepView();

  uint8_t BlankFill() const { return RadioGrpBKF.itemIndex == 0 ? 0x00 : 0xFF; }

 private:
  void setMcuName(const std::string& text);
  void mainLoad(bool clearing);
  void applyOutcome(const LoadOutcome& outcome);
  LoadContext loadContext();
};

}  // namespace tarvel
