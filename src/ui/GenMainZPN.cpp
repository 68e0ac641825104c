#include "ui/GenMainZPN.h"

#include "base/Format.h"
#include "chips/ChipSelectZPN.h"
#include "image/Checksums.h"
#include "image/IntelHex.h"
#include "image/RawBinary.h"
#include "image/SRecord.h"

namespace tarvel {
namespace {

constexpr const char* kNoChipSelected = "请先选择芯片型号！";
constexpr const char* kMainFilterImotion = "All Files (*.*)|*.*|All iMotion Files (*.ldf)|*.ldf";
constexpr const char* kMainFilter =
    "All Files (*.*)|*.*|All Data Files (*.Bin,*.hex,*.s19)|*.Bin;.hex;*.s19;*.mot|All SoC Project "
    "Files(*.socprj)|*.socprj|All Hex/Binary Files (*.Hex,*.S1*,*.Bin,*.socprj)|*.Hex;*.S1*;*.Bin;*.socprj|All "
    "ELF Files(*.elf)|*.elf";
constexpr const char* kOtpFilter =
    "All Binary Files (*.Bin)|*.bin|All Object Files(*.S19,*.HEX)|*.S19;*.HEX|All Hex/Binary Files "
    "(*.HEX,*.S1*,*.Bin)|*.Hex;*.S1*;*.Bin";
constexpr const char* kSaveFilter =
    "All Binary Files(*.BIN)|*.BIN|Intel Hex Files(*.HEX)|*.HEX|Motorola S-record Files(*.mot)|*.S19";

FileDialog OpenDialog(std::string name, std::string filter) {
  FileDialog d;
  d.name = std::move(name);
  d.filter = std::move(filter);
  return d;
}

}  // namespace

TGenMFrmZPN::TGenMFrmZPN(DialogService& dialogs, InfoLog::Clock clock) : Log(std::move(clock)), Dialogs(dialogs) {
  // The chip side as the window starts it: default chip parameters, images all 0xFF, no chip shown.
  Chip = StartupChipSettings();
  Image->FillForStartup();
  TabSheetEEP.tabVisible = false;
  MCUNameEdit.readOnly = true;
  CheckBoxOpt.visible = false;
  BitBtnLdBSL.visible = false;
  LoadEepDataFile1.visible = false;
  SaveEepDatatoFile1.visible = false;
  ProductEdit.visible = false;
}

LoadContext TGenMFrmZPN::loadContext() {
  return LoadContext{Chip, *Image, Dialogs, Log, [this] { Dialogs.showModal(FormOfsAddr); }};
}

void TGenMFrmZPN::ConfirmChip(const ChipDescriptor& chip) {
  SelectChip(Chip, Image->OptionData, chip);  // also keeps the chip's full flash size for the used-size scan
  setMcuName(Chip.ChipName);
}

void TGenMFrmZPN::setMcuName(const std::string& text) {
  if (MCUNameEdit.text == text) return;
  MCUNameEdit.text = text;
  MCUNameEditChange();
}

void TGenMFrmZPN::MCUNameEditChange() {
  if (!Chip.ChipSelected) return;
  ObjectFileLoaded = false;
  BitBtnLdBSL.visible = Chip.VendorIndex == 7;
  CheckBoxOpt.enabled = true;
  Log.MainMessage(Format("Chip \"%s\" has been selected!", MCUNameEdit.text));
  ChkBoxEEP.checked = false;
  const bool eep = Chip.EepSize > 0;
  TabSheetEEP.tabVisible = eep;
  LoadEepDataFile1.visible = eep;
  SaveEepDatatoFile1.visible = eep;
  ChkBoxEEP.enabled = eep;
  RadioGrpBKF.itemIndex = Chip.BlankValueIsZero ? 0 : 1;
  lbFlashSize.caption = FlashSizeText(Chip);
  if (Chip.VendorIndex == 0 || Chip.VendorIndex == 8) RadioGrpBKF.itemIndex = 0;
}

void TGenMFrmZPN::applyOutcome(const LoadOutcome& outcome) {
  if (outcome.eepChecked) ChkBoxEEP.checked = *outcome.eepChecked;
  if (outcome.optionChecked) CheckBoxOpt.checked = *outcome.optionChecked;
  if (outcome.status) {
    StatusBar1[0].text = outcome.status->fileSum;
    StatusBar1[1].text = outcome.status->chipSum;
  }
  if (outcome.refreshFlashView) ObjectFileLoaded = true;
  if (outcome.refreshEepView) ShowEepView();
}

void TGenMFrmZPN::mainLoad(bool clearing) {
  if (!Chip.ChipSelected) {
    Dialogs.information(kNoChipSelected);
    return;
  }
  FileDialog dialog = OpenDialog("OpenDialog1", Chip.VendorIndex == 8 ? kMainFilterImotion : kMainFilter);
  const auto answer = Dialogs.fileDialog(dialog);
  if (!answer) return;
  const std::filesystem::path path = answer->path;
  Log.MainMessage(Format("File \"%s\" has been loaded!", path.string()));
  if (clearing) {
    Image->BlankValue = BlankFill();
    Image->Clear(Image->BlankValue);
    // Statistics of an earlier file must not show up in this file's summary.
    Image->ResetLoadStatistics();
    ObjectFileName = path.filename().string();
    ProductEdit.text = ObjectFileName;
    StatusBar1[2].text = path.string();
  }
  LoadContext ctx = loadContext();
  ObjectFileLoaded = true;
  if (clearing && Chip.VendorIndex == 8)
    applyOutcome(LoadImotionFirmware(path, ctx));
  else
    applyOutcome(LoadObjectFile(path, ctx));
}

void TGenMFrmZPN::SpdBtnOpenClick() { mainLoad(true); }
void TGenMFrmZPN::SpdBtnLoadMoreClick() { mainLoad(false); }

void TGenMFrmZPN::LoadEepDataFile1Click() {
  if (!Chip.ChipSelected) {
    Dialogs.information(kNoChipSelected);
    return;
  }
  const auto answer = Dialogs.fileDialog(OpenDialog("OpenDialogOTP", kOtpFilter));
  if (!answer) return;
  Image->BlankValue = BlankFill();
  Image->EepImage.fill(Image->BlankValue);
  Log.MainMessage(Format("EEP Data file of \"%s\" hasn been loaded.", answer->path));
  LoadContext ctx = loadContext();
  applyOutcome(LoadEepDataFile(answer->path, ctx));
}

void TGenMFrmZPN::BitBtnLdBSLClick() {
  const auto answer = Dialogs.fileDialog(OpenDialog("OpenDialogOTP", kOtpFilter));
  if (!answer) return;
  Log.MainMessage(Format("File \"%s\" has been loaded!", answer->path));
  LoadContext ctx = loadContext();
  LoadBootData(answer->path, ctx);
}

void TGenMFrmZPN::SaveFile1Click() {
  if (!ObjectFileLoaded) return;
  FileDialog dialog;
  dialog.save = true;
  dialog.name = "SaveDialog1";
  dialog.filter = kSaveFilter;
  dialog.defaultExt = "bin";
  const auto answer = Dialogs.fileDialog(dialog);
  if (!answer) return;
  const std::span<const uint8_t> flash(Image->FlashImage);
  switch (answer->filterIndex) {
    case 2:
      WriteHexFile(answer->path, flash, Chip.FlashStart, Chip.FlashStart, Chip.FlashEnd);
      break;
    case 3:
      WriteSRecordFile(answer->path, flash, Chip.FlashStart, Chip.FlashStart, Chip.FlashEnd);
      break;
    default:
      WriteBinaryFile(answer->path, flash, 0, static_cast<int64_t>(Chip.FlashEnd) - Chip.FlashStart);
      break;
  }
}

void TGenMFrmZPN::SaveEepDatatoFile1Click() {
  FileDialog dialog;
  dialog.save = true;
  dialog.name = "SaveDialog1";
  dialog.filter = kSaveFilter;
  dialog.defaultExt = "bin";
  const auto answer = Dialogs.fileDialog(dialog);
  if (!answer) return;
  WriteBinaryFile(answer->path, Image->EepImage, 0, static_cast<int64_t>(Chip.EepSize) - 1);
}

void TGenMFrmZPN::ShowEepView() {
  Image->UpdateEepChecksums(Chip.EepSize);
  Log.Line();
  Log.MainMessage(Format("EEP Data CRC/ACC CheckSum = 0x%0.4x/0x%0.4x", Image->EepCrc16, Image->EepAcc16));
  TabSheetEEP.tabVisible = true;
  const uint8_t blank = BlankFill();
  bool data = false;
  for (size_t i = 0; i < Chip.EepSize && i < Image->EepImage.size(); ++i)
    if (Image->EepImage[i] != blank) {
      data = true;
      break;
    }
  ChkBoxEEP.checked = data;
}

}  // namespace tarvel
