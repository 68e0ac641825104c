#include "project/HdlPrjRdWtRT.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "base/Files.h"
#include "base/GbkText.h"
#include "link/DeviceDiscovery.h"
#include "support/TestFiles.h"

namespace tarvel {
namespace {

using testing::PatternBytes;
using testing::ReadBytes;
using testing::TempDir;

// A KF8-like set-up with a distinct value in every stored field.
struct Rig {
  ChipSettings chip;
  std::unique_ptr<MemoryImage> image = std::make_unique<MemoryImage>();
  OperationSettings op;
  ProjectSetup setup;
};

Rig MakeRig(uint16_t flashKB, uint16_t eepSize) {
  Rig s;
  ChipSettings& c = s.chip;
  c.ChipName = "KF8F3132OG";
  c.VendorIndex = 5;
  c.ChipSelected = true;
  c.InterfaceMode = 0x02;
  c.SettingsTag = 0x53;
  c.FamilyCode = 0x04;
  c.ChipSubtype = 0x31;
  c.FamilyByte8 = 0x81;
  c.FamilyByte9 = 0x92;
  c.FlashSizeKB = flashKB;
  c.FlashUnits = 0x0123;
  c.EepSize = eepSize;
  c.ProjectWord = 0x4567;
  c.FlashStart = 0x00010000;
  c.EepStart = 0x00F00000;
  c.OptionStart = 0x1FFFF800;
  c.ControlFlags0 = 0x35;
  c.ControlFlags1 = 0x89;
  c.ControlFlags2 = 0x56;
  c.OperationMask = 0x57;
  c.ExtraFlags = 0x07;
  c.KfClass = 3;
  c.KfFlags = 0x20;
  c.PageSize = 512;
  c.ChipId2 = 0xA55A;
  c.ConfigByte0 = 0xC0;
  c.ConfigByte1 = 0xC1;
  c.ChipId = 0x3132;
  c.EraseKey = 0xE1;
  c.ProgTiming1 = 0xE2;
  c.ProgTiming2 = 0xE3;
  c.TopReservedWords = 4;
  c.ClockParam = 0x1234;
  c.OldPassword = 0xDEADBEEF;
  SetWindowEnds(c);

  MemoryImage& m = *s.image;
  m.FillForStartup();
  const std::vector<uint8_t> flash = PatternBytes(size_t{flashKB} * 1024, 7);
  std::copy(flash.begin(), flash.end(), m.FlashImage.begin());
  const std::vector<uint8_t> eep = PatternBytes(eepSize, 8);
  std::copy(eep.begin(), eep.end(), m.EepImage.begin());
  const std::vector<uint8_t> option = PatternBytes(332, 9);
  std::copy(option.begin(), option.end(), m.OptionData.begin());
  m.UpdateFlashChecksums(c.FlashStart, c.FlashEnd);
  m.UpdateEepChecksums(c.EepSize);
  m.UpdateOptionChecksums();
  m.FileByteSum = 0xCAFEBABE;
  m.LowestLoadedAddress = 0x00010100;
  m.HighestLoadedAddress = 0x000104FF;

  OperationSettings& o = s.op;
  o.AutoDetect = 15;
  o.VddTime10 = 12;
  o.ResetTime10 = 7;
  o.InsertTime30 = 17;
  o.RemoveTime30 = 20;
  o.SerialEnabled = true;
  o.BigEndian = false;
  o.CountLimited = true;
  o.MaxCount = 123456;
  o.Serial = 0x12345678;
  o.Gain = 300;
  o.SerialAddress = 0xFFF0;

  s.setup.ObjectFileName = "固件_v1.hex";
  s.setup.BlankFillIndex = 1;
  s.setup.UnitCount = 3;
  return s;
}

std::vector<uint8_t> ToVector(std::span<const uint8_t> s) {
  return {s.begin(), s.end()};
}

std::vector<uint8_t> Save(const Rig& s, const std::filesystem::path& path, uint32_t seed,
                          ProjectData* saved = nullptr) {
  RandomSource random(seed);
  const ProjectData d = CollectProjectData(s.chip, *s.image, s.op, s.setup, random);
  EXPECT_TRUE(SaveProject(path, d, random).empty());
  if (saved) *saved = d;
  return ReadBytes(path);
}

uint32_t Le(const std::vector<uint8_t>& f, size_t at, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v |= static_cast<uint32_t>(f[at + static_cast<size_t>(i)]) << (8 * i);
  return v;
}

// Where the blocks after the flash block lie, from the layout: a key byte, the data, and one more key
// byte after every 1024 data bytes.
struct Layout {
  size_t eepTag, checksum, size;
};
Layout LayoutOf(size_t flashBytes, size_t eepBytes) {
  Layout l;
  l.eepTag = 3434 + 1 + flashBytes + flashBytes / 1024;
  l.checksum = l.eepTag + 5 + (eepBytes ? 1 + eepBytes + eepBytes / 1024 : 0);
  l.size = l.checksum + 4 + 256;
  return l;
}

std::string Tag(const std::vector<uint8_t>& f, size_t at, uint8_t mask) {
  std::string t;
  for (size_t i = 0; i < 3; ++i) t.push_back(static_cast<char>(f[at + i] ^ mask));
  return t;
}

// An independent reading of a scrambled data block.
std::vector<uint8_t> Unscramble(const std::vector<uint8_t>& f, size_t at, size_t count) {
  std::vector<uint8_t> out;
  uint8_t key = f[at++];
  size_t i = 0;
  for (size_t j = 0; j < count; ++j) {
    out.push_back(static_cast<uint8_t>(f[at++] ^ f[354 + i] ^ key));
    if (++i == 1024) {
      key = f[at++];
      i = 0;
    }
  }
  return out;
}

std::map<std::string, int64_t> FieldMap(const ChipSettings& c) {
  std::map<std::string, int64_t> m;
  for (const SettingsField& f : SettingsFields(c)) m[f.name] = f.value;
  return m;
}

TEST(ProjectFile, TwoSavesDifferAndBothLoadToTheSameSetUp) {
  TempDir dir;
  const Rig s = MakeRig(5, 1500);
  ProjectData saved[2];
  const std::vector<uint8_t> a = Save(s, dir / "a.pmw", 1, &saved[0]);
  const std::vector<uint8_t> b = Save(s, dir / "b.pmw", 2, &saved[1]);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_NE(a, b);
  // Header up to the pad is the same; pad, keys and trailer are not.
  EXPECT_TRUE(std::equal(a.begin(), a.begin() + 354, b.begin()));

  int n = 0;
  for (const char* name : {"a.pmw", "b.pmw"}) {
    SCOPED_TRACE(name);
    const ProjectData& want = saved[n++];
    ProjectLoad load = LoadProject(dir / name);
    ASSERT_EQ(load.Result, kProjectOk);
    EXPECT_EQ(load.Text, "Project File Open Success!");
    EXPECT_TRUE(load.Notes.empty());
    const ProjectData& d = load.Data;
    EXPECT_EQ(d.ProgrammerModelName, kHostModelName);
    EXPECT_EQ(d.ChipName, "KF8F3132OG");
    EXPECT_EQ(d.ObjectFileName, "固件_v1.hex");
    EXPECT_EQ(d.ConfigurationBlock, want.ConfigurationBlock);
    EXPECT_EQ(ToVector(d.Flash), ToVector(want.Flash));
    EXPECT_EQ(ToVector(d.Eep), ToVector(want.Eep));
    EXPECT_EQ(d.MaxCount, 123456u);
    EXPECT_EQ(d.Gain, 300);
    EXPECT_EQ(d.BlankFillIndex, 1);

    // Into a fresh chip and image, as the window does on success.
    ChipSettings chip;
    auto image = std::make_unique<MemoryImage>();
    ApplyProjectData(d, chip, *image);
    const ProjectWindowValues w = RestoreFromConfigBlock(d.ConfigurationBlock, chip, *image);
    std::map<std::string, int64_t> got = FieldMap(chip), expected = FieldMap(s.chip);
    // Not stored in projects: host-only fields, the device address, and header byte 37 (always sent as 0).
    for (const char* f : {"DeviceAddress", "Reserved37", "OptionEnd", "EepFileBase", "EepFileEnd",
                          "ImageOffset", "ReadAddress", "BinOffset", "BlankValueIsZero", "ChipFlashSizeKB"})
      got.erase(f), expected.erase(f);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(chip.ChipName, s.chip.ChipName);
    EXPECT_TRUE(std::equal(d.Flash.begin(), d.Flash.end(), s.image->FlashImage.begin()));
    EXPECT_TRUE(std::equal(image->FlashImage.begin(), image->FlashImage.begin() + 5 * 1024,
                           s.image->FlashImage.begin()));
    EXPECT_TRUE(
        std::equal(image->EepImage.begin(), image->EepImage.begin() + 1500, s.image->EepImage.begin()));
    EXPECT_TRUE(
        std::equal(image->OptionData.begin(), image->OptionData.begin() + 332, s.image->OptionData.begin()));
    EXPECT_EQ((std::array{image->FlashAcc16, image->FlashCrc16, image->EepAcc16, image->EepCrc16,
                          image->OptionAcc16, image->OptionCrc16}),
              (std::array{s.image->FlashAcc16, s.image->FlashCrc16, s.image->EepAcc16, s.image->EepCrc16,
                          s.image->OptionAcc16, s.image->OptionCrc16}));
    EXPECT_EQ(image->FlashSum, s.image->FlashSum);
    EXPECT_EQ(image->FileByteSum, 0xCAFEBABEu);
    EXPECT_EQ(image->LowestLoadedAddress, 0x00010100u);
    EXPECT_EQ(image->HighestLoadedAddress, 0x000104FFu);
    EXPECT_EQ(w.AutoDetect, 15);
    EXPECT_EQ((std::array{w.VddTime10, w.ResetTime10, w.InsertTime30, w.RemoveTime30}),
              (std::array<uint8_t, 4>{12, 7, 17, 20}));
    EXPECT_EQ(w.CountSerialFlags, 0x41);  // serial numbers on, little-endian, count limited
    EXPECT_EQ(w.SerialLength, 4);
    EXPECT_EQ(w.MaxCount, 123456u);
    EXPECT_EQ(w.SerialAddress, 0xFFF0u);
    EXPECT_EQ(w.SerialStart, 0x12345678u);  // unit 1's first number
  }
}

TEST(ProjectFile, LayoutOfTheFile) {
  TempDir dir;
  // Flash blocks are whole KB, so a key byte always follows the last flash byte; E = 0 writes the tag
  // and a zero count only.
  struct Case {
    uint16_t flashKB, eep;
  };
  for (const Case c : {Case{0, 0}, Case{1, 0}, Case{2, 1024}, Case{3, 1500}}) {
    SCOPED_TRACE(std::to_string(c.flashKB) + " KB, EEP " + std::to_string(c.eep));
    const Rig s = MakeRig(c.flashKB, c.eep);
    ProjectData d;
    const std::vector<uint8_t> f = Save(s, dir / "p.pmw", 3, &d);
    const size_t flashBytes = size_t{c.flashKB} * 1024;
    const Layout l = LayoutOf(flashBytes, c.eep);
    ASSERT_EQ(f.size(), l.size);

    EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "Dunmor");
    EXPECT_EQ(f[6], 2);
    EXPECT_EQ(f[7], 0x53);
    const std::string model = kHostModelName;
    for (size_t i = 0; i < 16; ++i)
      EXPECT_EQ(f[8 + i], i < model.size() ? (model[i] ^ 0x5B) : 0) << "model name byte " << i;
    EXPECT_EQ(f[24] ^ 0x5B, 'K');
    EXPECT_EQ(f[24 + 10], 0);
    EXPECT_EQ(Le(f, 124, 4), s.image->FlashSum);
    EXPECT_EQ(Le(f, 128, 4), 0xCAFEBABEu);
    EXPECT_EQ(Le(f, 156, 4), 123456u);
    EXPECT_EQ(Le(f, 160, 4), 0x00010100u);
    EXPECT_EQ(Le(f, 164, 4), 0x000104FFu);
    EXPECT_EQ(Le(f, 168, 2), 300u);
    EXPECT_EQ(f[256], 1);
    EXPECT_EQ(f[257], 5);
    EXPECT_EQ(Le(f, 258, 4), flashBytes);
    EXPECT_EQ(Le(f, 262, 2), c.eep);
    EXPECT_EQ(Le(f, 280, 4), 0x00010000u);
    EXPECT_EQ(Le(f, 284, 4), 0x00F00000u);
    EXPECT_EQ(Le(f, 288, 4), 0x1FFFF800u);
    const uint16_t sums[] = {s.image->FlashAcc16, s.image->FlashCrc16,  s.image->EepAcc16,
                             s.image->EepCrc16,   s.image->OptionAcc16, s.image->OptionCrc16};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(Le(f, 306 + 4 * i, 4), sums[i]) << "checksum " << i;
    for (auto [from, to] : {std::pair{92, 124}, {132, 156}, {170, 256}, {264, 280}, {292, 306}, {330, 354}})
      for (int i = from; i < to; ++i) EXPECT_EQ(f[static_cast<size_t>(i)], 0) << "zero area byte " << i;

    EXPECT_EQ(Tag(f, 2403, 0x3E), "CFG");
    for (size_t i = 0; i < 1024; ++i)
      ASSERT_EQ(f[2407 + i] ^ f[354 + i] ^ f[2406], d.ConfigurationBlock[i]) << "configuration byte " << i;
    EXPECT_EQ(Tag(f, 3431, 0x6D), "MFM");
    EXPECT_EQ(Unscramble(f, 3434, flashBytes), ToVector(d.Flash));
    EXPECT_EQ(Tag(f, l.eepTag, 0x29), "EEP");
    EXPECT_EQ(Le(f, l.eepTag + 3, 2), c.eep);
    if (c.eep) {
      EXPECT_EQ(Unscramble(f, l.eepTag + 5, c.eep), ToVector(d.Eep));
    }
    uint32_t sum = 0;
    for (size_t i = 0; i < l.checksum; ++i) sum += f[i];
    EXPECT_EQ(Le(f, l.checksum, 4), sum);
  }
}

// Every single-byte change of a small project: the magic gives 5, a tag its code, a size byte some
// failure, any other byte up to the checksum 16; the trailer is not checked.
TEST(ProjectFile, EveryChangedByteBeforeTheTrailerIsNoticed) {
  TempDir dir;
  const std::vector<uint8_t> good = Save(MakeRig(1, 3), dir / "p.pmw", 4);
  const Layout l = LayoutOf(1024, 3);
  ASSERT_EQ(good.size(), l.size);
  auto in = [](size_t at, size_t from, size_t count) { return at >= from && at < from + count; };
  for (size_t at = 0; at < good.size(); ++at) {
    SCOPED_TRACE("byte " + std::to_string(at));
    std::vector<uint8_t> f = good;
    f[at] ^= 0x01;
    if (in(at, 258, 4) || in(at, l.eepTag + 3, 2)) {  // F and E: the blocks move
      try {
        EXPECT_NE(ParseProject(f, "p.pmw").Result, kProjectOk);
      } catch (const FileError&) {
      }
      continue;
    }
    int expected = kProjectChecksumWrong;
    if (at < 6) expected = kProjectBadMagic;
    if (in(at, 2403, 3)) expected = kProjectCfgTagWrong;
    if (in(at, 3431, 3)) expected = kProjectMfmTagWrong;
    if (in(at, l.eepTag, 3)) expected = kProjectEepTagWrong;
    if (at >= l.checksum + 4) expected = kProjectOk;
    const ProjectLoad load = ParseProject(f, "p.pmw");
    ASSERT_EQ(load.Result, expected);
    EXPECT_EQ(load.Text, expected == kProjectOk         ? "Project File Open Success!"
                         : expected == kProjectBadMagic ? "Not Valid Dunmor Project File!"
                                                        : "Project File Data Has Been Corrupted!");
  }
}

TEST(ProjectFile, BadMagicReadsNothingElse) {
  TempDir dir;
  std::vector<uint8_t> f = Save(MakeRig(2, 16), dir / "p.pmw", 5);
  f[0] = 'd';
  const ProjectLoad load = ParseProject(f, "p.pmw");
  EXPECT_EQ(load.Result, kProjectBadMagic);
  const ProjectData& d = load.Data;
  EXPECT_TRUE(d.ChipName.empty());
  EXPECT_TRUE(d.ObjectFileName.empty());
  EXPECT_EQ(d.FlashSum, 0u);
  EXPECT_EQ(d.FlashStart, 0u);
  EXPECT_EQ(d.ConfigurationBlock, ProjectConfigBlock{});
  EXPECT_TRUE(d.Flash.empty());
  EXPECT_TRUE(d.Eep.empty());
}

TEST(ProjectFile, WrongTagSkipsItsBlockAndReadsTheLaterOnes) {
  TempDir dir;
  const Rig rig = MakeRig(2, 1100);  // `saved` views its image
  ProjectData saved;
  const std::vector<uint8_t> good = Save(rig, dir / "p.pmw", 6, &saved);
  const Layout l = LayoutOf(2048, 1100);
  struct Case {
    size_t tagAt;
    int result;
  };
  for (const Case c : {Case{2403, kProjectCfgTagWrong}, Case{3431, kProjectMfmTagWrong},
                       Case{l.eepTag, kProjectEepTagWrong}}) {
    SCOPED_TRACE(c.result);
    std::vector<uint8_t> f = good;
    f[c.tagAt + 1] ^= 0x20;
    const ProjectLoad load = ParseProject(f, "p.pmw");
    EXPECT_EQ(load.Result, c.result);
    EXPECT_EQ(load.Text, "Project File Data Has Been Corrupted!");
    EXPECT_EQ(load.Data.ChipName, "KF8F3132OG");  // the header was read
    EXPECT_EQ(load.Data.ConfigurationBlock,
              c.result == kProjectCfgTagWrong ? ProjectConfigBlock{} : saved.ConfigurationBlock);
    EXPECT_EQ(ToVector(load.Data.Flash),
              c.result == kProjectMfmTagWrong ? std::vector<uint8_t>{} : ToVector(saved.Flash));
    EXPECT_EQ(ToVector(load.Data.Eep),
              c.result == kProjectEepTagWrong ? std::vector<uint8_t>{} : ToVector(saved.Eep));
  }
}

TEST(ProjectFile, FileThatEndsEarlyIsAFileError) {
  TempDir dir;
  const std::vector<uint8_t> good = Save(MakeRig(1, 1030), dir / "p.pmw", 7);
  const Layout l = LayoutOf(1024, 1030);
  for (size_t n = 0; n < l.checksum + 4; ++n)
    EXPECT_THROW(ParseProject(std::span(good).first(n), "p.pmw"), FileError) << n << " bytes";
  // The trailer is not needed.
  EXPECT_EQ(ParseProject(std::span(good).first(l.checksum + 4), "p.pmw").Result, kProjectOk);
  EXPECT_THROW(LoadProject(dir / "missing.pmw"), FileError);
}

// A project written by hand with a zero pad and zero keys, so that data bytes stand as they are.
std::vector<uint8_t> CraftProject(uint32_t flashCount, size_t flashPresent, uint16_t eepCount) {
  std::vector<uint8_t> f(354 + 2049, 0);
  std::copy_n("Dunmor", 6, f.begin());
  for (int i = 0; i < 4; ++i) f[258 + static_cast<size_t>(i)] = static_cast<uint8_t>(flashCount >> (8 * i));
  f[262] = static_cast<uint8_t>(eepCount);
  f[263] = static_cast<uint8_t>(eepCount >> 8);
  auto tag = [&](const char* name, uint8_t mask) {
    for (int i = 0; i < 3; ++i) f.push_back(static_cast<uint8_t>(name[i] ^ mask));
  };
  auto data = [&](size_t count) {
    f.push_back(0);
    for (size_t j = 0; j < count; ++j) {
      f.push_back(static_cast<uint8_t>(j * 7 + (j >> 16)));
      if ((j + 1) % 1024 == 0) f.push_back(0);
    }
  };
  tag("CFG", 0x3E);
  f.insert(f.end(), 1 + 1024, 0);
  tag("MFM", 0x6D);
  data(flashPresent);
  if (flashPresent < flashCount) return f;
  tag("EEP", 0x29);
  f.push_back(static_cast<uint8_t>(eepCount));
  f.push_back(static_cast<uint8_t>(eepCount >> 8));
  if (eepCount) data(eepCount);
  uint32_t sum = 0;
  for (uint8_t b : f) sum += b;
  for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(sum >> (8 * i)));
  return f;
}

uint8_t Crafted(size_t j) {
  return static_cast<uint8_t>(j * 7 + (j >> 16));
}

TEST(ProjectFile, SizesFromTheFileNeverReachPastTheImages) {
  // The largest counts the images hold read whole; past 1 MiB the flash bytes land at their own index.
  {
    const ProjectLoad load = ParseProject(CraftProject(2048 * 1024, 2048 * 1024, 0xFFFF), "big.pmw");
    ASSERT_EQ(load.Result, kProjectOk);
    ASSERT_EQ(load.Data.Flash.size(), 2048u * 1024);
    EXPECT_EQ(load.Data.Flash[0x100005], Crafted(0x100005));
    EXPECT_NE(Crafted(0x100005), Crafted(5));
    EXPECT_EQ(load.Data.Eep.size(), 0xFFFFu);
    ChipSettings chip;
    auto image = std::make_unique<MemoryImage>();
    ApplyProjectData(load.Data, chip, *image);
    EXPECT_EQ(chip.FlashSizeKB, 2048);
    EXPECT_EQ(image->FlashImage[0x100005], Crafted(0x100005));
    EXPECT_EQ(image->FlashImage[5], Crafted(5));
  }
  // More flash than the image holds: the excess is read past, and the project is not taken.
  {
    const uint32_t count = 2051 * 1024;
    ASSERT_GT(count, kFlashImageSize);
    const ProjectLoad load = ParseProject(CraftProject(count, count, 4), "huge.pmw");
    EXPECT_EQ(load.Result, kProjectChecksumWrong);
    ASSERT_EQ(load.Data.Flash.size(), kFlashImageSize);
    EXPECT_EQ(load.Data.Flash.back(), Crafted(kFlashImageSize - 1));
    EXPECT_EQ(load.Data.Eep.size(), 4u);
    ChipSettings chip;
    auto image = std::make_unique<MemoryImage>();
    ApplyProjectData(load.Data, chip, *image);  // stays inside FlashImage
    EXPECT_EQ(image->FlashImage.back(), Crafted(kFlashImageSize - 1));
  }
  // A count far beyond the file ends in a file error, not in a write.
  EXPECT_THROW(ParseProject(CraftProject(0xFFFFFFFF, 3000, 0), "lie.pmw"), FileError);
}

TEST(ProjectFile, TextsAreGbkCutToTheirFieldsAndEndAtTheKey) {
  TempDir dir;
  const std::string gbkWith5B = GbkToUtf8("\x81\x5B");  // a character whose second byte is the key
  struct Case {
    std::string chipName, objectFileName;
    std::string chipRead, objectRead;
    size_t saveNotes, loadNotes;
  };
  const std::string long30 = [] {
    std::string t = "a";
    for (int i = 0; i < 30; ++i) t += "芯";
    return t;
  }();
  const Case cases[] = {
      {"IMD111T-6F040", "程序.hex", "IMD111T-6F040", "程序.hex", 0, 0},
      {"AB[CD", "x.hex", "AB", "x.hex", 1, 0},
      {"KF8", "固件🙂.hex", "KF8", "固件?.hex", 1, 0},
      // 1 + 23 x 2 bytes: the 24th character would reach past the 48-byte field.
      {"KF8", long30, "KF8", long30.substr(0, 1 + 23 * 3), 1, 0},
      // Stored as the lead byte and a 0: the lead byte alone is not GBK.
      {"A" + gbkWith5B, "x.hex", "A?", "x.hex", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chipName + " / " + c.objectFileName);
    Rig s = MakeRig(1, 0);
    s.chip.ChipName = c.chipName;
    s.setup.ObjectFileName = c.objectFileName;
    RandomSource random(9);
    const ProjectData d = CollectProjectData(s.chip, *s.image, s.op, s.setup, random);
    EXPECT_EQ(SaveProject(dir / "t.pmw", d, random).size(), c.saveNotes);
    const ProjectLoad load = LoadProject(dir / "t.pmw");
    EXPECT_EQ(load.Result, kProjectOk);
    EXPECT_EQ(load.Data.ChipName, c.chipRead);
    EXPECT_EQ(load.Data.ObjectFileName, c.objectRead);
    EXPECT_EQ(load.Notes.size(), c.loadNotes);
  }
  // The key byte is stored as 0 and the bytes after it follow as usual.
  const std::vector<uint8_t> f = [&] {
    Rig s = MakeRig(1, 0);
    s.chip.ChipName = "AB[CD";
    RandomSource random(10);
    SaveProject(dir / "k.pmw", CollectProjectData(s.chip, *s.image, s.op, s.setup, random), random);
    return ReadBytes(dir / "k.pmw");
  }();
  EXPECT_EQ((std::vector<uint8_t>(f.begin() + 24, f.begin() + 30)),
            (std::vector<uint8_t>{'A' ^ 0x5B, 'B' ^ 0x5B, 0, 'C' ^ 0x5B, 'D' ^ 0x5B, 0}));
}

TEST(ProjectFile, RefusesDataNoProjectCanHold) {
  TempDir dir;
  Rig s = MakeRig(1, 10);
  RandomSource random(11);
  ProjectData d = CollectProjectData(s.chip, *s.image, s.op, s.setup, random);
  ProjectData partKB = d;
  partKB.Flash = d.Flash.first(1000);
  EXPECT_THROW(SaveProject(dir / "p.pmw", partKB, random), std::invalid_argument);
  ProjectData eepMismatch = d;
  eepMismatch.EepSize = 11;
  EXPECT_THROW(SaveProject(dir / "p.pmw", eepMismatch, random), std::invalid_argument);
  s.chip.FlashSizeKB = 4096;
  EXPECT_THROW(CollectProjectData(s.chip, *s.image, s.op, s.setup, random), std::length_error);
  EXPECT_THROW(SaveProject(dir / "no-such-dir" / "p.pmw", d, random), FileError);
  EXPECT_FALSE(std::filesystem::exists(dir / "p.pmw"));
}

TEST(ProjectFile, ModelNames) {
  std::set<std::string_view> names;
  for (int code = 0; code < 256; ++code) {
    const std::string_view name = ProgrammerModelName(static_cast<uint8_t>(code));
    EXPECT_LE(name.size(), 16u) << code;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 26u);
  EXPECT_EQ(ProgrammerModelName(0x53), kHostModelName);
  EXPECT_EQ(ProgrammerModelName(0), kGenericModelName);
  EXPECT_EQ(ProgrammerModelName(84), kGenericModelName);
  for (auto [a, b] : {std::pair{15, 31}, {27, 44}, {35, 45}})
    EXPECT_EQ(ProgrammerModelName(static_cast<uint8_t>(a)), ProgrammerModelName(static_cast<uint8_t>(b)));
  EXPECT_NE(ProgrammerModelName(3), ProgrammerModelName(5));
}

// Each restored field read from its own place in a block whose bytes all differ from their neighbours.
TEST(ProjectRestore, EveryFieldComesFromItsBlockOffset) {
  ProjectConfigBlock b;
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 37 + 11);
  auto le = [&](size_t at, int width) {
    int64_t v = 0;
    for (int i = 0; i < width; ++i) v |= int64_t{b[at + static_cast<size_t>(i)]} << (8 * i);
    return v;
  };
  ChipSettings chip;
  chip.FlashStart = 0x8000;
  chip.EepStart = 0x1000;
  auto image = std::make_unique<MemoryImage>();
  const ProjectWindowValues w = RestoreFromConfigBlock(b, chip, *image);

  const std::map<std::string, int64_t> got = FieldMap(chip);
  struct Field {
    const char* name;
    size_t at;
    int width;
  };
  const Field fields[] = {
      {"InterfaceMode", 5, 1},  {"SettingsTag", 7, 1},    {"FamilyCode", 8, 1},
      {"ChipSubtype", 9, 1},    {"FamilyByte8", 12, 1},   {"FamilyByte9", 13, 1},
      {"FlashSizeKB", 20, 2},   {"FlashUnits", 22, 2},    {"EepSize", 24, 2},
      {"ProjectWord", 26, 2},   {"ControlFlags0", 36, 1}, {"ControlFlags1", 37, 1},
      {"ControlFlags2", 38, 1}, {"OperationMask", 39, 1}, {"ExtraFlags", 40, 1},
      {"Reserved37", 41, 1},    {"KfClass", 42, 1},       {"KfFlags", 43, 1},
      {"PageSize", 48, 2},      {"ChipId2", 50, 2},       {"ConfigByte0", 68, 1},
      {"ConfigByte1", 69, 1},   {"ChipId", 70, 2},        {"EraseKey", 72, 1},
      {"ProgTiming1", 73, 1},   {"ProgTiming2", 74, 1},   {"TopReservedWords", 75, 1},
      {"ClockParam", 76, 2},    {"OldPassword", 78, 4},
  };
  for (const Field& f : fields) EXPECT_EQ(got.at(f.name), le(f.at, f.width)) << f.name;
  EXPECT_EQ(chip.FlashEnd, 0x8000 + le(20, 2) * 1024 - 1);
  EXPECT_EQ(chip.EepEnd, 0x1000 + le(24, 2) - 1);

  for (auto [value, at, width] : {std::tuple{int64_t{image->FlashCrc16}, 52, 2},
                                  {image->FlashAcc16, 54, 2},
                                  {image->EepCrc16, 56, 2},
                                  {image->EepAcc16, 58, 2},
                                  {image->OptionCrc16, 60, 2},
                                  {image->OptionAcc16, 62, 2},
                                  {w.AutoDetect, 11, 1},
                                  {w.VddTime10, 44, 1},
                                  {w.ResetTime10, 45, 1},
                                  {w.InsertTime30, 46, 1},
                                  {w.RemoveTime30, 47, 1},
                                  {w.CountSerialFlags, 84, 1},
                                  {w.SerialLength, 85, 1},
                                  {w.MaxCount, 86, 4},
                                  {w.SerialAddress, 92, 4},
                                  {w.SerialStart, 96, 4}})
    EXPECT_EQ(value, le(static_cast<size_t>(at), width)) << "block offset " << at;
  EXPECT_TRUE(std::equal(b.begin() + 112, b.begin() + 240, image->OptionData.begin()));
  EXPECT_TRUE(std::equal(b.begin() + 304, b.begin() + 508, image->OptionData.begin() + 128));
  EXPECT_EQ(image->OptionData[332], 0);  // the rest of the option data stays
}

TEST(ProjectRestore, WindowEnds) {
  struct Case {
    uint32_t flashStart;
    uint16_t flashKB;
    uint32_t eepStart;
    uint16_t eepSize;
    uint32_t flashEnd, eepEnd;
  };
  for (const Case c :
       {Case{0, 256, 0xFFFFFF, 0, 0x3FFFF, 0xFFFFFF}, Case{0x8000, 64, 0x1000, 0, 0x17FFF, 0x1000},
        Case{0x18000000, 512, 0x2000, 512, 0x1807FFFF, 0x21FF}}) {
    ChipSettings chip;
    chip.FlashStart = c.flashStart;
    chip.FlashSizeKB = c.flashKB;
    chip.EepStart = c.eepStart;
    chip.EepSize = c.eepSize;
    SetWindowEnds(chip);
    EXPECT_EQ(chip.FlashEnd, c.flashEnd);
    EXPECT_EQ(chip.EepEnd, c.eepEnd);
  }
}

// The controls a load sets, captured again as before a download, give back the stored settings.
TEST(ProjectRestore, ControlsReadBackAsStored) {
  struct Case {
    uint8_t f0, f1, f2, mask, counts;
    uint32_t serial;
    int volt, speed, reset;
    std::string serialText;
  };
  const Case cases[] = {
      {0x00, 0x00, 0x00, 0x17, 0x00, 0x12345678, 0, 1, 0, "0x12345678"},
      {0x70, 0x99, 0x86, 0x57, 0x4D, 0x12345678, 1, 0, 2, "305419896"},
      {0x20, 0x02, 0x03, 0x17, 0x08, 0x80000000, -1, 1, -1, "-2147483648"},  // no item selected
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serialText);
    ChipSettings chip;
    chip.ControlFlags0 = c.f0;
    chip.ControlFlags1 = c.f1;
    chip.ControlFlags2 = c.f2;
    chip.OperationMask = c.mask;
    chip.BlankValueIsZero = (c.f1 & 0x10) != 0;
    ProjectWindowValues w;
    w.AutoDetect = 15;
    w.VddTime10 = 12;
    w.ResetTime10 = 7;
    w.InsertTime30 = 17;
    w.RemoveTime30 = 20;
    w.CountSerialFlags = c.counts;
    w.MaxCount = 999;
    w.SerialAddress = 0xFFF0;
    w.SerialStart = c.serial;
    ProjectData data;
    data.Gain = 300;
    data.BlankFillIndex = 3;

    const ProjectControls k = ControlsAfterLoad(chip, w, data);
    EXPECT_EQ(k.RadioGpVolt, c.volt);
    EXPECT_EQ(k.RadioGrpSpdF, c.speed);
    EXPECT_EQ(k.RadioGrpRST, c.reset);
    EXPECT_EQ(k.SNEdit1, c.serialText);
    EXPECT_EQ(k.BlankValueIsZero, (c.f1 & 0x10) != 0);
    EXPECT_EQ(k.ChkBoxSNDP, (c.counts & 0x08) != 0);
    EXPECT_EQ(k.GainEdit, "300");
    EXPECT_EQ(k.AddrEdit, "0x0000FFF0");
    EXPECT_EQ(k.RadioGrpBKF, 1);
    EXPECT_EQ((std::array{k.SpinEditIn, k.SpinEditOut, k.SpinEditVddTim, k.SpinEditPWDTim, k.SpinEditNum}),
              (std::array<int64_t, 5>{510, 600, 120, 70, 999}));
    EXPECT_TRUE(k.ChkBoxAuto);

    WindowSettings ws;
    ws.voltIndex = k.RadioGpVolt;
    ws.speedIndex = k.RadioGrpSpdF;
    ws.ccx = k.ChkBoxCCX;
    ws.runAndShut = k.ChkBoxRunSHT;
    ws.blankError = k.ChkBoxBlkEr;
    ws.optionEnabled = k.CheckBoxOpt;
    ws.autoDetect = k.ChkBoxAuto;
    ws.powerOffAfter = k.ChkBoxVDD;
    ws.runAfter = k.CheckBoxRun;
    ws.resetIndex = k.RadioGrpRST;
    ws.vddTime = k.SpinEditVddTim;
    ws.resetTime = k.SpinEditPWDTim;
    ws.insertTime = k.SpinEditIn;
    ws.removeTime = k.SpinEditOut;
    ws.serialEnabled = k.CheckBoxSN;
    ws.bigEndian = k.SNOrderChk;
    ws.countLimited = k.CheckBoxCtrl;
    ws.maxCount = k.SpinEditNum;
    ws.serialText = k.SNEdit1;
    ws.gainText = k.GainEdit;
    ws.addressText = k.AddrEdit;
    ChipSettings captured = chip;
    auto image = std::make_unique<MemoryImage>();
    OperationSettings op;
    ApplyWindowSettings(ws, captured, *image, op);
    EXPECT_EQ(captured.ControlFlags0, c.f0);
    EXPECT_EQ(captured.ControlFlags1, c.f1);
    EXPECT_EQ(captured.ControlFlags2, c.f2);
    EXPECT_EQ(captured.OperationMask & 0x40, c.mask & 0x40);
    EXPECT_EQ((std::array{op.AutoDetect, op.VddTime10, op.ResetTime10, op.InsertTime30, op.RemoveTime30}),
              (std::array<uint8_t, 5>{15, 12, 7, 17, 20}));
    EXPECT_EQ(op.Serial, c.serial);
    EXPECT_EQ(op.Gain, 300);
    EXPECT_EQ(op.SerialAddress, 0xFFF0u);
    EXPECT_EQ(op.MaxCount, 999u);
    EXPECT_EQ(op.SerialEnabled, (c.counts & 0x01) != 0);
    EXPECT_EQ(op.BigEndian, (c.counts & 0x04) != 0);
    EXPECT_EQ(op.CountLimited, (c.counts & 0x40) != 0);
  }
}

}  // namespace
}  // namespace tarvel
