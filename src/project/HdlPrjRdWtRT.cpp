#include "project/HdlPrjRdWtRT.h"

#include <algorithm>
#include <stdexcept>

#include "base/Files.h"
#include "base/Format.h"
#include "base/GbkText.h"
#include "link/DeviceDiscovery.h"

namespace tarvel {
namespace {

constexpr char kMagic[] = "Dunmor";
constexpr size_t kMagicSize = 6;
constexpr uint8_t kTextKey = 0x5B;
constexpr size_t kPadSize = 2049;
constexpr size_t kXorPadSize = 1024;
constexpr size_t kKeyPeriod = 1024;  // a data block draws a new key after every 1024 bytes
constexpr size_t kTrailerSize = 256;

struct BlockTag {
  char name[4];
  uint8_t mask;
};
constexpr BlockTag kCfgTag{"CFG", 0x3E};
constexpr BlockTag kMfmTag{"MFM", 0x6D};
constexpr BlockTag kEepTag{"EEP", 0x29};

// E is a 16-bit count, so the EEP block always fits the EEP image.
static_assert(kEepImageSize > 0xFFFF);

// ---- the programmer models ----

struct ModelRow {
  uint8_t code;
  uint8_t otherCode;  // a second code of the same model, or the same code again
  const char* name;
};

constexpr ModelRow kModels[] = {
    {3, 3, "Tarvel200 M03"},   {5, 5, "Tarvel200 M05"},   {7, 7, "Tarvel200 M07"},
    {9, 9, "Tarvel200 M09"},   {11, 11, "Tarvel200 M11"}, {13, 13, "Tarvel200 M13"},
    {15, 31, "Tarvel200 M15"}, {16, 16, "Tarvel200 M16"}, {19, 19, "Tarvel200 M19"},
    {21, 21, "Tarvel200 M21"}, {22, 22, "Tarvel200 M22"}, {27, 44, "Tarvel200 M27"},
    {29, 29, "Tarvel200 M29"}, {32, 32, "Tarvel200 M32"}, {35, 45, "Tarvel200 M35"},
    {37, 37, "Tarvel200 M37"}, {39, 39, "Tarvel200 M39"}, {46, 46, "Tarvel200 M46"},
    {48, 48, "Tarvel200 M48"}, {51, 51, "Tarvel200 M51"}, {53, 53, "Tarvel200 M53"},
    {54, 54, "Tarvel200 M54"}, {57, 57, "Tarvel200 M57"}, {61, 61, "Tarvel200 M61"},
    {83, 83, kHostModelName},
};

// ---- texts ----

std::string ToGbk(std::string_view utf8, bool& replaced) { return Utf8ToGbkReplacing(utf8, &replaced); }
std::string FromGbk(std::string_view gbk, bool& replaced) { return GbkToUtf8Replacing(gbk, &replaced); }

// The stored bytes of a text field: GBK, cut to the field at a character boundary, each byte XORed with
// the text key, zero fill. Notes what the field cannot hold as it is.
std::string EncodeText(std::string_view utf8, size_t width, const char* field,
                       std::vector<std::string>& notes) {
  bool replaced = false;
  std::string gbk = ToGbk(utf8, replaced);
  if (replaced)
    notes.push_back(Format("%s \"%s\": characters GBK has no code for are stored as '?'", field, utf8));
  size_t n = 0;
  while (n < gbk.size()) {
    const size_t step = static_cast<unsigned char>(gbk[n]) >= 0x81 ? 2 : 1;
    if (n + step > width) break;
    n += step;
  }
  if (n < gbk.size())
    notes.push_back(Format("%s \"%s\" is cut to %d bytes", field, utf8, static_cast<int>(width)));
  gbk.resize(n);
  // A byte equal to the key is stored as 0, which readers take for the end of the text.
  if (const size_t at = gbk.find(static_cast<char>(kTextKey)); at != std::string::npos)
    notes.push_back(Format("%s \"%s\" reads back cut to %d bytes: the byte 0x5B ends a text in project files",
                           field, utf8, static_cast<int>(at)));
  std::string stored(width, '\0');
  for (size_t i = 0; i < gbk.size(); ++i)
    stored[i] = static_cast<char>(static_cast<uint8_t>(gbk[i]) ^ kTextKey);
  return stored;
}

std::string DecodeText(std::span<const uint8_t> stored, const char* field, std::vector<std::string>& notes) {
  std::string gbk;
  for (uint8_t b : stored) {
    if (b == 0) break;
    gbk.push_back(static_cast<char>(b ^ kTextKey));
  }
  bool replaced = false;
  std::string text = FromGbk(gbk, replaced);
  if (replaced) notes.push_back(Format("%s: bytes that are not GBK are read as '?'", field));
  return text;
}

// ---- writing ----

class Writer {
 public:
  explicit Writer(size_t expectedSize) { out_.reserve(expectedSize); }
  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  void bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  void text(const std::string& stored) { out_.insert(out_.end(), stored.begin(), stored.end()); }
  void tag(const BlockTag& t) {
    for (int i = 0; i < 3; ++i) u8(static_cast<uint8_t>(t.name[i] ^ t.mask));
  }
  // Data bytes scrambled with the pad and the block key; a new key after every 1024th byte, the last
  // one included.
  void scrambled(std::span<const uint8_t> data, std::span<const uint8_t> pad, RandomSource& random) {
    uint8_t key = random.byte();
    u8(key);
    size_t i = 0;
    for (uint8_t b : data) {
      u8(static_cast<uint8_t>(b ^ pad[i] ^ key));
      if (++i == kKeyPeriod) {
        key = random.byte();
        u8(key);
        i = 0;
      }
    }
  }
  uint32_t sum() const {
    uint32_t s = 0;
    for (uint8_t b : out_) s += b;
    return s;
  }
  const std::vector<uint8_t>& out() const { return out_; }

 private:
  std::vector<uint8_t> out_;
};

size_t ScrambledSize(size_t count) {
  return 1 + count + count / kKeyPeriod;
}

// ---- reading ----

class Reader {
 public:
  Reader(std::span<const uint8_t> file, const std::string& name) : file_(file), name_(name) {}

  uint8_t u8() {
    need(1);
    const uint8_t b = file_[pos_++];
    sum_ += b;
    return b;
  }
  uint16_t u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(u8()) << (8 * i);
    return v;
  }
  std::span<const uint8_t> take(uint64_t n) {
    need(n);
    const std::span<const uint8_t> s = file_.subspan(pos_, static_cast<size_t>(n));
    for (uint8_t b : s) sum_ += b;
    pos_ += static_cast<size_t>(n);
    return s;
  }
  void skip(uint64_t n) { take(n); }
  bool tag(const BlockTag& t) {
    bool same = true;
    for (int i = 0; i < 3; ++i)
      same = (static_cast<uint8_t>(u8() ^ t.mask) == static_cast<uint8_t>(t.name[i])) && same;
    return same;
  }
  // `count` scrambled data bytes; keeps the first `keep` of them in `dest`.
  void scrambled(uint64_t count, std::span<const uint8_t> pad, std::vector<uint8_t>& dest, size_t keep) {
    uint8_t key = u8();
    dest.reserve(static_cast<size_t>(std::min<uint64_t>({count, keep, remaining()})));
    size_t i = 0;
    for (uint64_t j = 0; j < count; ++j) {
      const uint8_t b = static_cast<uint8_t>(u8() ^ pad[i] ^ key);
      if (j < keep) dest.push_back(b);
      if (++i == kKeyPeriod) {
        key = u8();
        i = 0;
      }
    }
  }
  // The stored file checksum, which does not count into the running sum.
  uint32_t checksum() {
    need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(file_[pos_++]) << (8 * i);
    return v;
  }
  uint32_t sum() const { return sum_; }

 private:
  uint64_t remaining() const { return file_.size() - pos_; }
  void need(uint64_t n) const {
    if (remaining() < n) throw FileError("Cannot read file \"" + name_ + "\": the project file ends early");
  }

  std::span<const uint8_t> file_;
  const std::string& name_;
  size_t pos_ = 0;
  uint32_t sum_ = 0;
};

uint16_t Get16(const ProjectConfigBlock& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t Get32(const ProjectConfigBlock& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
  return v;
}

}  // namespace

std::string_view ProgrammerModelName(uint8_t modelCode) {
  for (const ModelRow& row : kModels)
    if (row.code == modelCode || row.otherCode == modelCode) return row.name;
  return kGenericModelName;
}

ProjectData CollectProjectData(const ChipSettings& chip, const MemoryImage& image,
                               const OperationSettings& op, const ProjectSetup& setup, RandomSource& random) {
  const size_t flashBytes = static_cast<size_t>(chip.FlashSizeKB) * 1024;
  if (flashBytes > kFlashImageSize)
    throw std::length_error(Format("A flash of %u KB does not fit the flash image", chip.FlashSizeKB));
  ProjectData d;
  d.SettingsTag = chip.SettingsTag;
  d.ProgrammerModelName = ProgrammerModelName(chip.SettingsTag);
  d.ChipName = chip.ChipName;
  d.ObjectFileName = setup.ObjectFileName;
  d.FlashSum = image.FlashSum;
  d.FileByteSum = image.FileByteSum;
  d.MaxCount = op.MaxCount;
  d.LowestLoadedAddress = image.LowestLoadedAddress;
  d.HighestLoadedAddress = image.HighestLoadedAddress;
  d.Gain = op.Gain;
  d.BlankFillIndex = setup.BlankFillIndex;
  d.VendorIndex = chip.VendorIndex;
  d.EepSize = chip.EepSize;
  d.FlashStart = chip.FlashStart;
  d.EepStart = chip.EepStart;
  d.OptionStart = chip.OptionStart;
  d.FlashAcc16 = image.FlashAcc16;
  d.FlashCrc16 = image.FlashCrc16;
  d.EepAcc16 = image.EepAcc16;
  d.EepCrc16 = image.EepCrc16;
  d.OptionAcc16 = image.OptionAcc16;
  d.OptionCrc16 = image.OptionCrc16;
  ConfigBlockInput in;
  in.channel = 0;
  in.unitCount = setup.UnitCount;
  in.fileLoaded = true;  // a project is saved only with an object file loaded
  in.objectFileName = setup.ObjectFileName;
  const ConfigBlock block = BuildConfigBlock(chip, image, op, random, in);
  std::copy(block.begin(), block.end(), d.ConfigurationBlock.begin());
  std::copy(block.begin(), block.end(), d.ConfigurationBlock.begin() + kConfigBlockSize);
  d.Flash = std::span<const uint8_t>(image.FlashImage).first(flashBytes);
  d.Eep = std::span<const uint8_t>(image.EepImage).first(chip.EepSize);
  return d;
}

std::vector<std::string> SaveProject(const std::filesystem::path& path, const ProjectData& data,
                                     RandomSource& random) {
  if (data.Flash.size() % 1024 != 0 || data.Flash.size() > kFlashImageSize)
    throw std::invalid_argument(
        Format("A project cannot hold a flash window of %u bytes", data.Flash.size()));
  if (data.Eep.size() != data.EepSize)
    throw std::invalid_argument(
        Format("%u bytes of EEP data do not match the EEP size %u", data.Eep.size(), data.EepSize));

  std::vector<std::string> notes;
  const std::string modelName = EncodeText(data.ProgrammerModelName, 16, "ProgrammerModelName", notes);
  const std::string chipName = EncodeText(data.ChipName, 20, "ChipName", notes);
  const std::string objectFileName = EncodeText(data.ObjectFileName, 48, "ObjectFileName", notes);

  std::array<uint8_t, kPadSize> pad;
  random.fill(pad);
  const std::span<const uint8_t> xorPad = std::span<const uint8_t>(pad).first(kXorPadSize);

  const size_t eepBlock = data.Eep.empty() ? 0 : ScrambledSize(data.Eep.size());
  Writer w(354 + kPadSize + 3 + 1 + kProjectConfigSize + 3 + ScrambledSize(data.Flash.size()) + 3 + 2 +
           eepBlock + 4 + kTrailerSize);
  w.bytes(std::span(reinterpret_cast<const uint8_t*>(kMagic), kMagicSize));
  w.u8(2);
  w.u8(data.SettingsTag);
  w.text(modelName);
  w.text(chipName);
  w.text(objectFileName);
  w.zeros(32);
  w.u32(data.FlashSum);
  w.u32(data.FileByteSum);
  w.u32(0);
  w.zeros(20);
  w.u32(data.MaxCount);
  w.u32(data.LowestLoadedAddress);
  w.u32(data.HighestLoadedAddress);
  w.u16(data.Gain);
  w.zeros(86);
  w.u8(data.BlankFillIndex);
  w.u8(data.VendorIndex);
  w.u32(static_cast<uint32_t>(data.Flash.size()));
  w.u16(data.EepSize);
  w.zeros(16);
  w.u32(data.FlashStart);
  w.u32(data.EepStart);
  w.u32(data.OptionStart);
  w.zeros(12 + 2);
  for (uint16_t v :
       {data.FlashAcc16, data.FlashCrc16, data.EepAcc16, data.EepCrc16, data.OptionAcc16, data.OptionCrc16})
    w.u32(v);
  w.zeros(24);
  w.bytes(pad);

  w.tag(kCfgTag);
  const uint8_t cfgKey = random.byte();
  w.u8(cfgKey);
  for (size_t i = 0; i < kProjectConfigSize; ++i)
    w.u8(static_cast<uint8_t>(data.ConfigurationBlock[i] ^ xorPad[i] ^ cfgKey));

  w.tag(kMfmTag);
  w.scrambled(data.Flash, xorPad, random);

  w.tag(kEepTag);
  w.u16(static_cast<uint16_t>(data.Eep.size()));
  if (!data.Eep.empty()) w.scrambled(data.Eep, xorPad, random);

  w.u32(w.sum());
  std::array<uint8_t, kTrailerSize> trailer;
  random.fill(trailer);
  w.bytes(trailer);

  WriteFileAtomically(path, w.out());
  return notes;
}

ProjectLoad ParseProject(std::span<const uint8_t> file, const std::string& name) {
  ProjectLoad load;
  Reader r(file, name);
  const std::span<const uint8_t> magic = r.take(kMagicSize);
  if (!std::equal(magic.begin(), magic.end(), kMagic)) {
    load.Result = kProjectBadMagic;
    load.Text = kProjectNotValidText;
    return load;
  }

  ProjectData& d = load.Data;
  d.Version = r.u8();
  d.SettingsTag = r.u8();
  d.ProgrammerModelName = DecodeText(r.take(16), "ProgrammerModelName", load.Notes);
  d.ChipName = DecodeText(r.take(20), "ChipName", load.Notes);
  d.ObjectFileName = DecodeText(r.take(48), "ObjectFileName", load.Notes);
  r.skip(32);
  d.FlashSum = r.u32();
  d.FileByteSum = r.u32();
  r.skip(4 + 20);
  d.MaxCount = r.u32();
  d.LowestLoadedAddress = r.u32();
  d.HighestLoadedAddress = r.u32();
  d.Gain = r.u16();
  r.skip(86);
  d.BlankFillIndex = r.u8();
  d.VendorIndex = r.u8();
  const uint32_t flashCount = r.u32();
  d.EepSize = r.u16();
  r.skip(16);
  d.FlashStart = r.u32();
  d.EepStart = r.u32();
  d.OptionStart = r.u32();
  r.skip(12 + 2);
  for (uint16_t* v : {&d.FlashAcc16, &d.FlashCrc16, &d.EepAcc16, &d.EepCrc16, &d.OptionAcc16, &d.OptionCrc16})
    *v = static_cast<uint16_t>(r.u32());
  r.skip(24);
  const std::span<const uint8_t> xorPad = r.take(kPadSize).first(kXorPadSize);

  // A block under a wrong tag is skipped, not taken; the blocks after it are still read in place.
  int result = kProjectOk;
  if (r.tag(kCfgTag)) {
    const uint8_t key = r.u8();
    const std::span<const uint8_t> stored = r.take(kProjectConfigSize);
    for (size_t i = 0; i < kProjectConfigSize; ++i)
      d.ConfigurationBlock[i] = static_cast<uint8_t>(stored[i] ^ xorPad[i] ^ key);
  } else {
    result = kProjectCfgTagWrong;
    r.skip(1 + kProjectConfigSize);
  }

  // Flash bytes beyond the flash image cannot be kept; no file of ours holds any.
  const bool flashTooLarge = flashCount > kFlashImageSize;
  if (r.tag(kMfmTag)) {
    r.scrambled(flashCount, xorPad, load.flash_, kFlashImageSize);
  } else {
    result = kProjectMfmTagWrong;
    r.skip(ScrambledSize(flashCount));
  }

  const bool eepTagGood = r.tag(kEepTag);
  const uint16_t eepCount = r.u16();
  if (!eepTagGood) {
    result = kProjectEepTagWrong;
    if (eepCount > 0) r.skip(ScrambledSize(eepCount));
  } else if (eepCount > 0) {
    r.scrambled(eepCount, xorPad, load.eep_, kEepImageSize);
  }
  d.Flash = load.flash_;
  d.Eep = load.eep_;

  const uint32_t sum = r.sum();
  const uint32_t stored = r.checksum();
  if (result == kProjectOk && (stored != sum || flashTooLarge)) result = kProjectChecksumWrong;
  load.Result = result;
  load.Text = result == kProjectOk ? kProjectOpenSuccessText : kProjectCorruptedText;
  return load;
}

ProjectLoad LoadProject(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return ParseProject(bytes, path.string());
}

void SetWindowEnds(ChipSettings& chip) {
  chip.FlashEnd = chip.FlashStart + static_cast<uint32_t>(chip.FlashSizeKB) * 1024 - 1;
  chip.EepEnd = chip.EepSize == 0 ? chip.EepStart : chip.EepStart + chip.EepSize - 1;
}

void ApplyProjectData(const ProjectData& data, ChipSettings& chip, MemoryImage& image) {
  chip.ChipSelected = true;
  chip.ChipName = data.ChipName;
  chip.VendorIndex = data.VendorIndex;
  chip.FlashSizeKB = data.FlashSizeKB();
  chip.EepSize = data.EepSize;
  chip.FlashStart = data.FlashStart;
  chip.EepStart = data.EepStart;
  chip.OptionStart = data.OptionStart;
  SetWindowEnds(chip);

  image.FlashSum = data.FlashSum;
  image.FileByteSum = data.FileByteSum;
  image.LowestLoadedAddress = data.LowestLoadedAddress;
  image.HighestLoadedAddress = data.HighestLoadedAddress;
  image.FlashAcc16 = data.FlashAcc16;
  image.FlashCrc16 = data.FlashCrc16;
  image.EepAcc16 = data.EepAcc16;
  image.EepCrc16 = data.EepCrc16;
  image.OptionAcc16 = data.OptionAcc16;
  image.OptionCrc16 = data.OptionCrc16;
  std::copy_n(data.Flash.begin(), std::min(data.Flash.size(), image.FlashImage.size()),
              image.FlashImage.begin());
  std::copy_n(data.Eep.begin(), std::min(data.Eep.size(), image.EepImage.size()), image.EepImage.begin());
}

// Block offsets are those of the settings header plus 4 (the block opens with "ZWLP").
ProjectWindowValues RestoreFromConfigBlock(const ProjectConfigBlock& b, ChipSettings& chip,
                                           MemoryImage& image) {
  ProjectWindowValues w;
  chip.InterfaceMode = b[5];
  chip.SettingsTag = b[7];
  chip.FamilyCode = b[8];
  chip.ChipSubtype = b[9];
  w.AutoDetect = b[11];
  chip.FamilyByte8 = b[12];
  chip.FamilyByte9 = b[13];
  chip.FlashSizeKB = Get16(b, 20);
  chip.FlashUnits = Get16(b, 22);
  chip.EepSize = Get16(b, 24);
  chip.ProjectWord = Get16(b, 26);
  chip.ControlFlags0 = b[36];
  chip.ControlFlags1 = b[37];
  chip.ControlFlags2 = b[38];
  chip.OperationMask = b[39];
  chip.ExtraFlags = b[40];
  chip.Reserved37 = b[41];
  chip.KfClass = b[42];
  chip.KfFlags = b[43];
  w.VddTime10 = b[44];
  w.ResetTime10 = b[45];
  w.InsertTime30 = b[46];
  w.RemoveTime30 = b[47];
  chip.PageSize = Get16(b, 48);
  chip.ChipId2 = Get16(b, 50);
  image.FlashCrc16 = Get16(b, 52);
  image.FlashAcc16 = Get16(b, 54);
  image.EepCrc16 = Get16(b, 56);
  image.EepAcc16 = Get16(b, 58);
  image.OptionCrc16 = Get16(b, 60);
  image.OptionAcc16 = Get16(b, 62);
  chip.ConfigByte0 = b[68];
  chip.ConfigByte1 = b[69];
  chip.ChipId = Get16(b, 70);
  chip.EraseKey = b[72];
  chip.ProgTiming1 = b[73];
  chip.ProgTiming2 = b[74];
  chip.TopReservedWords = b[75];
  chip.ClockParam = Get16(b, 76);
  chip.OldPassword = Get32(b, 78);
  w.CountSerialFlags = b[84];
  w.SerialLength = b[85];
  w.MaxCount = Get32(b, 86);
  w.SerialAddress = Get32(b, 92);
  w.SerialStart = Get32(b, 96);
  std::copy_n(b.begin() + 112, 128, image.OptionData.begin());
  std::copy_n(b.begin() + 304, 204, image.OptionData.begin() + 128);
  SetWindowEnds(chip);
  return w;
}

ProjectControls ControlsAfterLoad(const ChipSettings& chip, const ProjectWindowValues& window,
                                  const ProjectData& data) {
  const uint8_t f0 = chip.ControlFlags0, f1 = chip.ControlFlags1, f2 = chip.ControlFlags2;
  const uint8_t counts = window.CountSerialFlags;
  ProjectControls c;
  c.ChkBoxBlkEr = (f1 & 0x08) != 0;
  // Two levels and three reset modes: the settings capture stores a group without a selected item as
  // level 2 and reset mode 3, so those read back as no item.
  c.RadioGpVolt = (f1 & 3) < 2 ? (f1 & 3) : -1;
  c.RadioGrpSpdF = (f0 & 0x10) ? 0 : 1;
  c.BlankValueIsZero = (f1 & 0x10) != 0;
  c.RadioGrpRST = (f2 & 3) < 3 ? (f2 & 3) : -1;
  c.ChkBoxVDD = (f2 & 0x80) == 0;
  c.CheckBoxRun = (f2 & 0x04) != 0;
  c.ChkBoxCCX = (f0 & 0x20) != 0;
  c.ChkBoxRunSHT = (f0 & 0x40) != 0;
  c.CheckBoxOpt = (chip.OperationMask & 0x40) != 0;
  c.ChkBoxAuto = window.AutoDetect != 0;
  c.SpinEditIn = window.InsertTime30 * 30;
  c.SpinEditOut = window.RemoveTime30 * 30;
  c.SpinEditVddTim = window.VddTime10 * 10;
  c.SpinEditPWDTim = window.ResetTime10 * 10;
  c.SpinEditNum = window.MaxCount;
  c.CheckBoxCtrl = (counts & 0x40) != 0;
  c.CheckBoxSN = (counts & 0x01) != 0;
  c.SNOrderChk = (counts & 0x04) != 0;
  c.ChkBoxSNDP = (counts & 0x08) != 0;
  c.GainEdit = Format("%d", data.Gain);
  // Decimal as a signed 32-bit number: the text must read back through the capture's integer parsing,
  // which takes decimals up to 2^31 - 1 only.
  c.SNEdit1 = c.ChkBoxSNDP ? Format("%d", static_cast<int32_t>(window.SerialStart))
                           : Format("0x%0.8x", window.SerialStart);
  c.AddrEdit = Format("0x%0.8x", window.SerialAddress);
  c.RadioGrpBKF = data.BlankFillIndex & 1;
  return c;
}

}  // namespace tarvel
