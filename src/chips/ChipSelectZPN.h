// Confirming a catalogue chip: the common reset, the family preamble and the family's derivation.
#pragma once

#include <span>
#include <string_view>
#include <string>

#include <vector>

#include "base/Controls.h"
#include "base/DialogService.h"
#include "chips/Catalogue.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"

namespace tarvel {

// TChipSelForm: the chip selection dialog. It always opens on the iMOTION list with the vendor selector
// hidden; the model still serves every vendor and both ChipON lists, which project files and scripts use.
class TChipSelForm : public ModalDialog {
 public:
  TChipSelForm(ChipSettings& settings, std::span<uint8_t> optionData)
      : settings_(settings), optionData_(optionData) {}

  std::string_view formName() const override { return "TChipSelForm"; }
  void FormShow() override;
  // RadioGrpSelMF and RadioGrpKFX take an item index, ListBoxCP an entry index or a chip name.
  bool setControl(std::string_view control, std::string_view value) override;
  void OkClick() override;  // confirms the selected entry: runs the derivation
  std::vector<Control*> controls() override { return {&RadioGrpSelMF, &RadioGrpKFX, &ListBoxCP}; }
  std::string dialogCaption() const override { return "ChipSelForm"; }
  std::vector<std::pair<Button, std::string>> closeButtons() const override {
    return {{Button::OK, BitBtnOK.caption}, {Button::Cancel, BitBtnNO.caption}};
  }

  void RadioGrpSelMFClick();
  void RadioGrpKFXClick();

  RadioGroup RadioGrpSelMF{"RadioGrpSelMF", "选择芯片厂家",
                           {"Zialog", "赛元微", "ITE Tech", "Abov Chips", "Analogix", "Chip ON(芯旺微）", "上海芯圣",
                            "凌思微电子", "iMOTION"},
                           8};
  RadioGroup RadioGrpKFX{"RadioGrpKFX", "KF8/32", {"KF8xxx", "KF32xx"}, 0};
  ListBoxControl ListBoxCP{"ListBoxCP"};
  ButtonControl BitBtnOK{"BitBtnOK", "OK"};
  ButtonControl BitBtnNO{"BitBtnNO", "No"};
  int formWidth = -1;

 private:
  void fillList();

  ChipSettings& settings_;
  std::span<uint8_t> optionData_;
};

// Derives every chip-dependent setting for `chip` and writes the family's default option data, if it
// has any, into `optionData`. Cannot fail for catalogue names.
void SelectChip(ChipSettings& s, std::span<uint8_t> optionData, const ChipDescriptor& chip);

// The main window's size text: "%d KB, No EEP." or "%d KB,EEP=%dB.".
std::string FlashSizeText(const ChipSettings& s);

// How the main window adapts to a newly selected chip's family: the controls each family supports, the
// defaults it sets and the size text, in the order the window applies them.
std::vector<ControlChange> FamilySetup(const ChipSettings& s);

// Shrinks FlashSizeKB and FlashEnd to the used part of the flash image (vendor 7, after a main load),
// so that the download sends only what is used.
void UsedFlashScan(ChipSettings& s, const MemoryImage& image);

}  // namespace tarvel
