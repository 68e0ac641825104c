#include "chips/ChipSelectZPN.h"

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

std::string FlashSizeText(const ChipSettings& s) {
  if (s.EepSize != 0) return Format("%d KB,EEP=%dB.", s.FlashSizeKB, s.EepSize);
  return Format("%d KB, No EEP.", s.FlashSizeKB);
}

void UsedFlashScan(ChipSettings& s, const MemoryImage& image) {
  const uint32_t kb = UsedFlashSizeKB(image, {s.ChipFlashSizeKB, s.ImageOffset, s.BlankValueIsZero});
  s.FlashSizeKB = static_cast<uint16_t>(kb);
  s.FlashEnd = s.FlashStart + kb * 1024 - 1;
}

}  // namespace tarvel
