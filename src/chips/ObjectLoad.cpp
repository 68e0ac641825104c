#include "chips/ObjectLoad.h"

#include <algorithm>
#include <cctype>

#include "base/Format.h"
#include "chips/ChipSelectZPN.h"
#include "image/Checksums.h"
#include "image/HdlParseLDF.h"
#include "image/IntelHex.h"
#include "image/ParseELF.h"
#include "image/ParseSocPRJ.h"
#include "image/RawBinary.h"
#include "image/SRecord.h"

namespace tarvel {
namespace {

constexpr uint32_t kBinMaxLength = 0x100000;
constexpr uint32_t kBootDataMaxLength = 65531;  // data, CRC-32 and size must fit the 64 KiB image

bool IsSRecordExtension(const std::string& ext) {
  // .S10 to .S19, or .MOT
  if (ext == ".MOT") return true;
  return ext.size() == 4 && ext[1] == 'S' && ext[2] == '1' && std::isdigit(static_cast<unsigned char>(ext[3]));
}

void TakeStatistics(MemoryImage& image, const RecordReadResult& r) {
  image.FileByteSum = r.sum;
  image.LowestLoadedAddress = r.lowest;
  image.HighestLoadedAddress = r.highest;
}

void LoadBinaryMain(const std::filesystem::path& path, LoadContext& ctx) {
  ChipSettings& s = ctx.settings;
  MemoryImage& image = ctx.image;
  if (ctx.askBinOffset) ctx.askBinOffset();
  // The data goes exactly where the user asked, so that the summary's first address is the truth.
  const int64_t offset = static_cast<int32_t>(s.BinOffset);
  const BinaryReadResult r = ReadBinaryFile(path, image.FlashImage, offset, kBinMaxLength);
  image.FileByteSum = r.sum;
  if (r.length == 0) {
    image.LowestLoadedAddress = 0xFFFFFFFF;  // nothing loaded
    image.HighestLoadedAddress = 0;
    return;
  }
  image.LowestLoadedAddress = s.FlashStart + static_cast<uint32_t>(offset);
  image.HighestLoadedAddress = s.FlashStart + static_cast<uint32_t>(offset) + r.length - 1;
  if (offset + r.length - 1 >= static_cast<int64_t>(s.FlashSizeKB) * 1024) ctx.dialogs.plain("Data Out of chip address!");
}

}  // namespace

AddressWindows WindowsOf(const ChipSettings& s) {
  return AddressWindows{s.FlashStart, s.FlashEnd, s.OptionStart, s.OptionEnd, s.EepStart, s.EepEnd};
}

SummaryWindows SummaryWindowsOf(const ChipSettings& s) {
  return SummaryWindows{s.FlashStart, s.FlashEnd, s.EepStart, s.EepEnd, s.EepSize};
}

std::string UpperExtension(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return "";
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

LoadOutcome LoadObjectFile(const std::filesystem::path& path, LoadContext& ctx) {
  ChipSettings& s = ctx.settings;
  MemoryImage& image = ctx.image;
  const std::string ext = UpperExtension(path);
  const RecordTarget target{image.FlashImage, s.FlashStart, WindowsOf(s), &image};
  LoadOutcome out;

  if (ext == ".HEX") {
    TakeStatistics(image, ReadHexFile(path, target, ctx.dialogs));
  } else if (IsSRecordExtension(ext)) {
    TakeStatistics(image, ReadSRecordFile(path, target, ctx.dialogs));
  } else if (ext == ".ELF") {
    LoadElfFile(path, image, s.ImageOffset, ctx.dialogs, ctx.log);
  } else if (ext == ".SOCPRJ") {
    // Option bytes set by the project count as option data delivered by the file, so the check below
    // keeps "Program Option Byte" checked instead of clearing it again.
    if (LoadSocProject(path, image, ctx.dialogs, ctx.log).OptionChanged) image.OptionDataPresent = true;
  } else if (ext == ".BIN") {
    LoadBinaryMain(path, ctx);
  }
  // Any other extension loads nothing; the post-load steps still run.

  // Vendor 5 KF8 chips: the two configuration bytes follow the flash contents in the file.
  if (s.VendorIndex == 5 && (s.ChipSubtype & 0x80) == 0) {
    const uint32_t k = (static_cast<uint32_t>(s.FlashSizeKB) * 1024) % 1048576;
    for (uint32_t i = 0; i < 4; ++i) image.OptionData[i] = image.FlashImage[k + 14 + i];
    s.ConfigByte0 = image.FlashImage[k + 14];
    s.ConfigByte1 = image.FlashImage[k + 15];
    ctx.log.Line();
    ctx.log.MainMessage(Format("Load Chip Config Data is : 0x%0.2x%0.2x.", s.ConfigByte1, s.ConfigByte0));
  }
  if (s.VendorIndex == 7) UsedFlashScan(s, image);

  out.eepChecked = image.EepDataPresent;
  out.optionChecked = image.OptionDataPresent || s.VendorIndex == 6;
  out.status = WriteLoadSummary(ctx.log, image, SummaryWindowsOf(s));
  out.refreshFlashView = true;
  out.refreshEepView = s.EepSize > 0;
  if (s.VendorIndex == 5)
    out.showKf32Config = (s.ChipSubtype & 0x80) != 0;
  else
    out.refreshOptionView = s.InterfaceMode != 0;
  return out;
}

LoadOutcome LoadImotionFirmware(const std::filesystem::path& path, LoadContext& ctx) {
  ChipSettings& s = ctx.settings;
  MemoryImage& image = ctx.image;
  const SectionedFirmwareResult r = LoadSectionedFirmware(path, image);
  if (r.Settings) {
    const SectionedFirmwareSettings& f = *r.Settings;
    s.EraseKey = f.EraseKey;
    s.ProgTiming1 = f.ProgTiming1;
    s.ProgTiming2 = f.ProgTiming2;
    s.TopReservedWords = f.TopReservedWords;
    s.FlashStart = f.FlashStart;
    s.FlashEnd = f.FlashEnd;
    s.FlashSizeKB = f.FlashSizeKB;
    s.FlashUnits = f.FlashUnits;
    // The packed records are the file's contents.
    image.LowestLoadedAddress = 0;
    image.HighestLoadedAddress = r.EndPosition > 0 ? static_cast<uint32_t>(r.EndPosition - 1) : 0;
  } else {
    ctx.dialogs.error(SectionedFirmwareTooLargeText(r));
  }
  LoadOutcome out;
  out.status = WriteLoadSummary(ctx.log, image, SummaryWindowsOf(s));
  out.refreshFlashView = true;
  out.refreshEepView = s.EepSize > 0;
  return out;
}

LoadOutcome LoadEepDataFile(const std::filesystem::path& path, LoadContext& ctx) {
  ChipSettings& s = ctx.settings;
  MemoryImage& image = ctx.image;
  const std::string ext = UpperExtension(path);
  // Flash-window records of an EEP file land in the EEP image relative to the EEP file base; the load
  // statistics of the main load are left alone.
  const RecordTarget target{image.EepImage, s.EepFileBase, WindowsOf(s), &image};
  if (ext == ".HEX") {
    ReadHexFile(path, target, ctx.dialogs);
  } else if (ext == ".S19" || ext == ".MOT") {
    ReadSRecordFile(path, target, ctx.dialogs);
  } else {
    const BinaryReadResult r =
        ReadBinaryFile(path, image.EepImage, 0, static_cast<uint32_t>(image.EepImage.size()) + 1);
    if (r.length > image.EepImage.size())
      ctx.dialogs.warning(Format("EEP data file is longer than %d bytes; only the first %d bytes were loaded.",
                                 kEepImageSize, kEepImageSize));
  }
  LoadOutcome out;
  out.refreshEepView = true;
  return out;
}

void LoadBootData(const std::filesystem::path& path, LoadContext& ctx) {
  MemoryImage& image = ctx.image;
  image.EepImage.fill(0x00);
  // Read one byte more than fits, to tell the user when the file is too long.
  const BinaryReadResult r = ReadBinaryFile(path, std::span<uint8_t>(image.EepImage.data(), kBootDataMaxLength), 0,
                                            kBootDataMaxLength + 1);
  const uint32_t length = std::min(r.length, kBootDataMaxLength);
  if (r.length > kBootDataMaxLength) {
    ctx.dialogs.warning(Format("Boot-loader file is longer than %d bytes; only the first %d bytes were loaded.",
                               kBootDataMaxLength, kBootDataMaxLength));
  }
  image.BootDataSize = static_cast<uint16_t>(length);
  const uint32_t crc = Crc32(std::span<const uint8_t>(image.EepImage.data(), length));
  for (int i = 0; i < 4; ++i) image.EepImage[length + i] = static_cast<uint8_t>(crc >> (8 * i));
  ctx.log.MainMessage(Format("SBL File Total Size is :0x%0.4x, CRC32 is 0x%0.8x.", length, crc));
  image.BootDataSize = static_cast<uint16_t>(length + 4);
}

}  // namespace tarvel
