#include "chips/ChipSelectZPN.h"

#include <algorithm>
#include <charconv>

#include "base/Format.h"
#include "chips/FamilyDerivations.h"

namespace tarvel {

void SelectChip(ChipSettings& s, std::span<uint8_t> optionData, const ChipDescriptor& chip) {
  // Common reset.
  s.ChipSelected = true;
  s.ChipSubtype = 0;
  s.EepSize = 0;
  s.ControlFlags0 = s.ControlFlags1 = s.ControlFlags2 = 0;
  s.OperationMask = s.ExtraFlags = s.Reserved37 = s.KfClass = s.KfFlags = 0;
  s.FamilyByte8 = s.FamilyByte9 = 0;
  s.InterfaceMode = s.ConfigByte0 = s.ConfigByte1 = s.DeviceAddress = 0;
  s.EraseKey = s.ProgTiming1 = s.ProgTiming2 = 0;
  s.VendorIndex = chip.VendorIndex;
  s.ChipSubtype = chip.ListIndex;
  s.ChipName = chip.ChipName;

  // Family preamble.
  s.SettingsTag = 0x53;
  s.OperationMask = 0x17;
  s.FamilyByte8 = s.FamilyByte9 = 0;
  s.ExtraFlags = s.Reserved37 = s.KfClass = s.KfFlags = 0;

  switch (chip.VendorIndex) {
    case 0: DeriveZ51F(s, optionData, chip.ListIndex); break;
    case 1: DeriveSc9x(s, optionData); break;
    case 2: DeriveIte(s); break;
    case 3: DeriveAbov(s, optionData, chip.ListIndex); break;
    case 4: DeriveAnalogix(s, optionData, chip.ListIndex); break;
    case 5: DeriveChipOn(s, optionData); break;
    case 6: DeriveHc8at(s, optionData, chip.ListIndex); break;
    case 7: DeriveLe(s); break;
    case 8: DeriveImotion(s); break;
    default: break;
  }
  // The flash data sits at the family's own flash start inside the image.
  s.ImageOffset = s.FlashStart;
  s.ChipFlashSizeKB = s.FlashSizeKB;
}

void TChipSelForm::FormShow() {
  RadioGrpSelMF.itemIndex = 8;
  RadioGrpSelMF.visible = false;
  RadioGrpKFX.visible = false;
  ListBoxCP.left = 8;
  BitBtnOK.left = 250;
  BitBtnNO.left = 250;
  formWidth = 400;
  fillList();
}

void TChipSelForm::fillList() {
  const uint8_t vendor = static_cast<uint8_t>(RadioGrpSelMF.itemIndex);
  const CatalogueList& list = ListForVendor(vendor, RadioGrpKFX.itemIndex);
  ListBoxCP.items.assign(list.names.begin(), list.names.end());
  ListBoxCP.itemIndex = 0;
  RadioGrpKFX.visible = vendor == 5;
}

void TChipSelForm::RadioGrpSelMFClick() { fillList(); }
void TChipSelForm::RadioGrpKFXClick() { fillList(); }

bool TChipSelForm::setControl(std::string_view control, std::string_view value) {
  int n = -1;
  const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
  const bool number = ec == std::errc() && p == value.data() + value.size();
  if (control == RadioGrpSelMF.name && number && n >= 0 && n < kVendorCount) {
    RadioGrpSelMF.itemIndex = n;
    RadioGrpSelMFClick();
  } else if (control == RadioGrpKFX.name && number && (n == 0 || n == 1)) {
    RadioGrpKFX.itemIndex = n;
    RadioGrpKFXClick();
  } else if (control == ListBoxCP.name) {
    if (number && n >= 0 && static_cast<size_t>(n) < ListBoxCP.items.size()) {
      ListBoxCP.itemIndex = n;
    } else {
      auto it = std::find(ListBoxCP.items.begin(), ListBoxCP.items.end(), value);
      if (it == ListBoxCP.items.end()) return false;
      ListBoxCP.itemIndex = static_cast<int>(it - ListBoxCP.items.begin());
    }
  } else {
    return false;
  }
  return true;
}

void TChipSelForm::OkClick() {
  if (ListBoxCP.itemIndex < 0 || static_cast<size_t>(ListBoxCP.itemIndex) >= ListBoxCP.items.size()) return;
  const ChipDescriptor chip{ListBoxCP.items[static_cast<size_t>(ListBoxCP.itemIndex)],
                            static_cast<uint8_t>(RadioGrpSelMF.itemIndex), static_cast<uint8_t>(ListBoxCP.itemIndex)};
  SelectChip(settings_, optionData_, chip);
}

std::string FlashSizeText(const ChipSettings& s) {
  if (s.EepSize != 0) return Format("%d KB,EEP=%dB.", s.FlashSizeKB, s.EepSize);
  return Format("%d KB, No EEP.", s.FlashSizeKB);
}

std::vector<ControlChange> FamilySetup(const ChipSettings& s) {
  const int v = s.VendorIndex;
  std::vector<ControlChange> c = {
      Show("ButtonCfgSN"),
      Hide("PanelPOLY"),
      Show("BitBtnLdBSL", v == 7),
      Show("BtnOptionCfg"),
      Enable("CheckBoxOpt"),
      Show("AutoSpdBtn"),
      Show("SpdBtnVerify"),
      Show("SpdBtnWrtOPB"),
      Show("SpdBtnErase"),
      Show("SpdBtnProg"),
      Show("SpdBtnBlankChk"),
      Hide("ReadChipData"),
      SelectItem("RadioGpVolt", 0),
      Enable("RadioGpVolt"),
      Check("ChkBoxEEP", false),
  };
  const bool eep = s.EepSize > 0;
  for (const char* name : {"TabSheetEEP", "ReadEEPMemory1", "LoadEepDataFile1", "WriteEepDataMemory1", "SaveEepDatatoFile1"})
    c.push_back(Show(name, eep));
  c.push_back(Enable("ChkBoxEEP", eep));
  c.push_back(ShowPage("PageControlSet", 2));
  c.push_back(Show("TabSheetCP", v == 1));
  // What an earlier family's set-up disabled or hid comes back, so that switching families (through
  // project files) never leaves the window half usable.
  for (const char* name : {"ReadCommand", "RadioGrpSpdF", "GroupBoxCfg"}) c.push_back(Enable(name));
  for (const char* name : {"ChkBoxBlkEr", "RadioGrpBKF"}) c.push_back(Show(name));

  auto deviceAddress = [&](bool ccx, bool address) {
    c.push_back(Show("ChkBoxCCX", ccx));
    c.push_back(Show("LabelDEVA", address));
    c.push_back(Show("EditDevAdr", address));
  };
  auto optionControls = [&](bool on) {
    for (const char* name : {"BtnOptionCfg", "CheckBoxOpt", "SpdBtnWrtOPB", "ReadOptionByte1", "WriteOptionByte1"})
      c.push_back(Show(name, on));
    if (!on) c.push_back(Check("CheckBoxOpt", false));
  };
  auto optionPage = [&](bool on, const char* caption) {
    if (caption) c.push_back(SetCaption("TabSheetCfg", caption));
    c.push_back(Show("TabSheetCfg", on));
  };
  switch (v) {
    case 0:
      optionPage(true, "Option Data");
      deviceAddress(false, false);
      optionControls(true);
      c.push_back(SelectItem("RadioGpVolt", 0));
      break;
    case 1:
      optionPage(true, nullptr);
      deviceAddress(false, false);
      optionControls(true);
      c.push_back(SelectItem("RadioGpVolt", 0));
      c.push_back(SetValue("SpinEditEST", s.EraseKey));
      c.push_back(SetValue("SpinEditPGTM1", s.ProgTiming1));
      c.push_back(SetValue("SpinEditPGTM2", s.ProgTiming2));
      c.push_back(ShowPage("PageControlSet", 0));
      break;
    case 2:
      optionPage(false, nullptr);
      deviceAddress(true, true);
      optionControls(false);
      c.push_back(SelectItem("RadioGpVolt", 0));
      break;
    case 3:
      optionPage(true, "Option Data");
      deviceAddress(false, false);
      optionControls(true);
      c.push_back(SelectItem("RadioGpVolt", 1));
      break;
    case 4:
      optionPage(false, nullptr);
      deviceAddress(false, false);
      optionControls(false);
      c.push_back(SelectItem("RadioGpVolt", 0));
      for (const char* name : {"AutoSpdBtn", "SpdBtnErase", "SpdBtnProg", "SpdBtnVerify", "SpdBtnBlankChk"})
        c.push_back(Hide(name));
      c.push_back(Show("ReadChipData"));
      break;
    case 5:
      optionPage((s.ChipSubtype & 0x80) != 0, "Config Data");
      deviceAddress(false, false);
      optionControls(true);
      c.push_back(SelectItem("RadioGpVolt", s.ControlFlags1 & 1));
      break;
    case 6:
      optionPage(true, nullptr);
      deviceAddress(false, false);
      optionControls(true);
      c.push_back(Check("CheckBoxOpt", true));
      c.push_back(SelectItem("RadioGpVolt", 1));
      c.push_back(Hide("ButtonCfgSN"));
      c.push_back(Hide("ReadChipData"));
      c.push_back(Show("PanelPOLY"));
      break;
    case 7:
      optionPage(false, nullptr);
      deviceAddress(false, true);
      optionControls(false);
      c.push_back(SelectItem("RadioGpVolt", 0));
      c.push_back(Enable("ReadCommand", false));
      for (const char* name : {"AutoSpdBtn", "SpdBtnProg", "SpdBtnVerify", "SpdBtnErase", "SpdBtnBlankChk"})
        c.push_back(Hide(name));
      c.push_back(Show("BitBtnLdBSL"));
      c.push_back(SetValue("SpinEditVddTim", 20));
      c.push_back(SetValue("SpinEditPWDTim", 20));
      break;
    case 8:
      optionPage(false, nullptr);
      deviceAddress(false, false);
      optionControls(false);
      c.push_back(SelectItem("RadioGpVolt", 0));
      c.push_back(Enable("RadioGpVolt", false));
      c.push_back(Enable("ReadCommand", false));
      for (const char* name : {"BitBtnLdBSL", "AutoSpdBtn", "SpdBtnVerify", "SpdBtnErase", "SpdBtnBlankChk"})
        c.push_back(Hide(name));
      c.push_back(Show("SpdBtnProg"));
      c.push_back(SetValue("SpinEditVddTim", 20));
      c.push_back(SetValue("SpinEditPWDTim", 20));
      c.push_back(ShowPage("PageControlSet", 3));
      c.push_back(Hide("ChkBoxBlkEr"));
      c.push_back(Hide("RadioGrpBKF"));
      c.push_back(SelectItem("RadioGrpBKF", 0));
      c.push_back(Enable("RadioGrpSpdF", false));
      c.push_back(Enable("GroupBoxCfg", false));
      break;
    default:
      break;
  }
  c.push_back(SelectItem("RadioGrpBKF", s.BlankValueIsZero ? 0 : 1));
  c.push_back(SetText("EditDevAdr", Format("0x%0.2x", s.DeviceAddress)));
  c.push_back(SetText("lbFlashSize", FlashSizeText(s)));
  if (v == 0 || v == 8) c.push_back(SelectItem("RadioGrpBKF", 0));
  return c;
}

void UsedFlashScan(ChipSettings& s, const MemoryImage& image) {
  const uint32_t kb = UsedFlashSizeKB(image, {s.ChipFlashSizeKB, s.ImageOffset, s.BlankValueIsZero});
  s.FlashSizeKB = static_cast<uint16_t>(kb);
  s.FlashEnd = s.FlashStart + kb * 1024 - 1;
}

}  // namespace tarvel
