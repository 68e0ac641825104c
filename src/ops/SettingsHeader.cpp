#include "ops/SettingsHeader.h"

#include <algorithm>

#include "base/GbkText.h"
#include "base/Numbers.h"
#include "image/Checksums.h"

namespace tarvel {
namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A text field for the units: GBK, cut to the field at a character boundary, "?" when empty.
void PutText(uint8_t* field, size_t width, const std::string& utf8) {
  std::string text;
  try {
    text = Utf8ToGbk(utf8);
  } catch (const TextConversionError&) {
    // A character GBK cannot show stands as '?'; the rest of the name stays readable.
    for (unsigned char c : utf8) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  if (text.empty()) text.assign(1, '?');
  size_t n = 0;
  while (n < text.size()) {
    const size_t step = static_cast<unsigned char>(text[n]) >= 0x81 ? 2 : 1;
    if (n + step > width) break;
    n += step;
  }
  std::fill(field, field + width, 0);
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), field);
}

}  // namespace

void ApplyWindowSettings(const WindowSettings& w, ChipSettings& chip, MemoryImage& image, OperationSettings& out) {
  // Numbers first, so that a field that is not a number changes nothing.
  const int64_t deviceAddress = StrToInt(w.deviceAddress);
  const int64_t serial = StrToInt(w.serialText);
  const int64_t gain = StrToInt(w.gainText);
  const int64_t serialAddress = StrToInt(w.addressText);

  chip.DeviceAddress = static_cast<uint8_t>(deviceAddress);
  chip.ControlFlags0 = static_cast<uint8_t>((chip.ControlFlags0 & ~0x70) | (w.speedIndex == 0 ? 0x10 : 0) |
                                            (w.ccx ? 0x20 : 0) | (w.runAndShut ? 0x40 : 0));
  const int volt = w.voltIndex == 0 ? 0 : w.voltIndex == 1 ? 1 : 2;
  const bool blankError = w.blankError && chip.VendorIndex != 7;
  chip.ControlFlags1 = static_cast<uint8_t>((chip.ControlFlags1 & 0x80) | volt | (blankError ? 0x08 : 0) |
                                            (chip.BlankValueIsZero ? 0x10 : 0));
  chip.ControlFlags2 = static_cast<uint8_t>((chip.ControlFlags2 & 0x78) | (w.resetIndex & 3) | (w.runAfter ? 0x04 : 0) |
                                            (w.powerOffAfter ? 0 : 0x80));
  chip.OperationMask = chip.VendorIndex == 7
                           ? 0x06
                           : static_cast<uint8_t>(0x17 + (w.optionEnabled ? 0x40 : 0) + (w.eepEnabled ? 0x28 : 0));
  chip.ExtraFlags = static_cast<uint8_t>((chip.ExtraFlags & ~0x02) | (w.optionEnabled ? 0x02 : 0));

  out.AutoDetect = w.autoDetect ? 15 : 0;
  out.VddTime10 = static_cast<uint8_t>(w.vddTime / 10);
  out.ResetTime10 = static_cast<uint8_t>(w.resetTime / 10);
  out.InsertTime30 = static_cast<uint8_t>(w.insertTime / 30);
  out.RemoveTime30 = static_cast<uint8_t>(w.removeTime / 30);
  out.RunTime = w.runTime / 10 * 10;
  out.EepEnabled = w.eepEnabled;
  out.OptionEnabled = w.optionEnabled;
  out.SerialEnabled = w.serialEnabled;
  out.BigEndian = w.bigEndian;
  out.CountLimited = w.countLimited;
  out.HostSerial = w.hostSerial;
  out.MaxCount = static_cast<uint32_t>(w.maxCount);
  out.Serial = static_cast<uint32_t>(serial);
  out.Gain = static_cast<uint16_t>(gain);
  out.SerialAddress = static_cast<uint32_t>(serialAddress);
  image.UpdateOptionChecksums();
}

OperationHeader BuildSettingsHeader(const ChipSettings& chip, const MemoryImage& image, const OperationSettings& op,
                                   RandomSource& random, uint16_t parameter) {
  OperationHeader h{};
  uint8_t* p = h.data();
  p[1] = chip.InterfaceMode;
  p[2] = chip.DeviceAddress;
  p[3] = chip.SettingsTag;
  p[4] = chip.FamilyCode;
  p[5] = chip.ChipSubtype;
  p[6] = random.byte();
  p[7] = op.AutoDetect;
  p[8] = chip.FamilyByte8;
  p[9] = chip.FamilyByte9;
  Put16(p + 10, parameter);
  Put16(p + 16, chip.FlashSizeKB);
  Put16(p + 18, chip.FlashUnits);
  Put16(p + 20, chip.EepSize);
  Put16(p + 22, chip.ProjectWord);
  Put32(p + 24, chip.FlashStart);
  Put32(p + 28, chip.EepStart);
  p[32] = chip.ControlFlags0;
  p[33] = chip.ControlFlags1;
  p[34] = chip.ControlFlags2;
  p[35] = chip.OperationMask;
  p[36] = chip.ExtraFlags;
  p[37] = 0;
  p[38] = chip.KfClass;
  p[39] = chip.KfFlags;
  p[40] = op.VddTime10;
  p[41] = op.ResetTime10;
  p[42] = op.InsertTime30;
  p[43] = op.RemoveTime30;
  Put16(p + 44, chip.PageSize);
  Put16(p + 46, chip.ChipId2);
  Put16(p + 48, image.FlashCrc16);
  Put16(p + 50, image.FlashAcc16);
  Put16(p + 52, image.EepCrc16);
  Put16(p + 54, image.EepAcc16);
  Put16(p + 56, image.OptionCrc16);
  Put16(p + 58, image.OptionAcc16);
  Put32(p + 60, chip.OptionStart);
  p[64] = chip.ConfigByte0;
  p[65] = chip.ConfigByte1;
  Put16(p + 66, chip.ChipId);
  p[68] = chip.EraseKey;
  p[69] = chip.ProgTiming1;
  p[70] = chip.ProgTiming2;
  p[71] = chip.TopReservedWords;
  Put16(p + 72, chip.ClockParam);
  Put32(p + 74, chip.OldPassword);
  Put16(p + 78, chip.VendorIndex == 7 ? image.BootDataSize : 0);
  return h;
}

ConfigBlock BuildConfigBlock(const ChipSettings& chip, const MemoryImage& image, const OperationSettings& op,
                             RandomSource& random, const ConfigBlockInput& in) {
  ConfigBlock b{};
  uint8_t* p = b.data();
  p[0] = 'Z';
  p[1] = 'W';
  p[2] = 'L';
  p[3] = 'P';
  const OperationHeader h = BuildSettingsHeader(chip, image, op, random, random.word16());
  std::copy(h.begin(), h.end(), p + 4);
  p[84] = static_cast<uint8_t>((op.SerialEnabled ? 0x01 : 0) | (op.BigEndian ? 0x04 : 0) | (op.CountLimited ? 0x40 : 0));
  p[85] = 4;
  Put32(p + 86, op.MaxCount);
  Put16(p + 90, static_cast<uint32_t>(in.unitCount) * op.Gain);
  Put32(p + 92, op.SerialAddress);
  Put32(p + 96, op.Serial + static_cast<uint32_t>(in.channel) * op.Gain);
  Put16(p + 100, image.FlashAcc16);
  Put32(p + 102, in.fileLoaded ? image.FileByteSum : 0);
  std::copy(image.OptionData.begin(), image.OptionData.begin() + 128, p + 112);
  PutText(p + 240, 16, chip.ChipName);
  PutText(p + 256, 48, in.objectFileName);
  std::copy(image.OptionData.begin() + 128, image.OptionData.begin() + 332, p + 304);
  Put16(p + 508, ImageCrc16(b, 0, 507));
  uint16_t sum = 0;
  for (size_t i = 0; i < 510; ++i) sum = static_cast<uint16_t>(sum + p[i]);
  Put16(p + 510, sum);
  return b;
}

}  // namespace tarvel
