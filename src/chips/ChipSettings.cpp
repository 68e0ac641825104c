#include "chips/ChipSettings.h"

namespace tarvel {

ChipSettings StartupChipSettings() {
  ChipSettings s;
  s.FlashSizeKB = 128;
  s.PageSize = 1024;
  s.FlashUnits = 128;
  s.FamilyCode = 0;
  s.SettingsTag = 0x53;
  s.OptionStart = 0x1FFFF800;
  s.VendorIndex = 0;
  s.ChipSelected = false;
  // Everything else, the control flags, ExtraFlags and the three bytes after it and header bytes 8 and 9
  // among them, starts at zero.
  return s;
}

std::vector<SettingsField> SettingsFields(const ChipSettings& s) {
  return {
      {"ChipSelected", s.ChipSelected},
      {"InterfaceMode", s.InterfaceMode},
      {"DeviceAddress", s.DeviceAddress},
      {"SettingsTag", s.SettingsTag},
      {"FamilyCode", s.FamilyCode},
      {"ChipSubtype", s.ChipSubtype},
      {"FamilyByte8", s.FamilyByte8},
      {"FamilyByte9", s.FamilyByte9},
      {"FlashSizeKB", s.FlashSizeKB},
      {"FlashUnits", s.FlashUnits},
      {"EepSize", s.EepSize},
      {"ProjectWord", s.ProjectWord},
      {"FlashStart", s.FlashStart},
      {"FlashEnd", s.FlashEnd},
      {"EepStart", s.EepStart},
      {"EepEnd", s.EepEnd},
      {"ControlFlags0", s.ControlFlags0},
      {"ControlFlags1", s.ControlFlags1},
      {"ControlFlags2", s.ControlFlags2},
      {"OperationMask", s.OperationMask},
      {"ExtraFlags", s.ExtraFlags},
      {"Reserved37", s.Reserved37},
      {"KfClass", s.KfClass},
      {"KfFlags", s.KfFlags},
      {"PageSize", s.PageSize},
      {"ChipId2", s.ChipId2},
      {"OptionStart", s.OptionStart},
      {"OptionEnd", s.OptionEnd},
      {"ConfigByte0", s.ConfigByte0},
      {"ConfigByte1", s.ConfigByte1},
      {"ChipId", s.ChipId},
      {"EraseKey", s.EraseKey},
      {"ProgTiming1", s.ProgTiming1},
      {"ProgTiming2", s.ProgTiming2},
      {"TopReservedWords", s.TopReservedWords},
      {"ClockParam", s.ClockParam},
      {"OldPassword", s.OldPassword},
      {"EepFileBase", s.EepFileBase},
      {"EepFileEnd", s.EepFileEnd},
      {"ImageOffset", s.ImageOffset},
      {"ReadAddress", s.ReadAddress},
      {"BinOffset", s.BinOffset},
      {"BlankValueIsZero", s.BlankValueIsZero},
      {"ChipFlashSizeKB", s.ChipFlashSizeKB},
  };
}

}  // namespace tarvel
