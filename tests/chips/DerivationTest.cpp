#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "chips/Catalogue.h"
#include "chips/ChipSelectZPN.h"
#include "chips/ChipSettings.h"

namespace tarvel {
namespace {

// A freshly started program: start-up settings and option data all 0xFF.
struct Host {
  ChipSettings s = StartupChipSettings();
  std::array<uint8_t, 4096> option{};
  Host() { option.fill(0xFF); }
  void select(const std::string& name) {
    auto e = FindChipByName(name);
    ASSERT_TRUE(e) << name;
    SelectChip(s, option, e->chip);
  }
  int64_t field(const std::string& name) const {
    for (const SettingsField& f : SettingsFields(s))
      if (name == f.name) return f.value;
    ADD_FAILURE() << "no field " << name;
    return -1;
  }
};

struct DerivationCase {
  const char* chip;
  std::map<std::string, int64_t> expect;
};

// The values that the naming rules of each family decide, including the names that sit on the edges of
// those rules (prefix lengths, character tests, the first of overlapping rules).
const DerivationCase kCases[] = {
    // vendor 0
    {"Z51F0410HCX", {{"FlashSizeKB", 4}, {"FlashUnits", 64}, {"PageSize", 64}, {"ChipId", 0x0186},
                     {"ChipSubtype", 0}, {"BlankValueIsZero", 1}, {"ControlFlags1", 0x01}, {"EepStart", 0xFFFF}}},
    {"Z51F6412ATX", {{"FlashSizeKB", 64}, {"ChipSubtype", 10}, {"FlashEnd", 0xFFFF}}},
    // vendor 1
    {"SC95F761x", {{"EepSize", 0}, {"ChipId", 0xC92F}, {"ChipSubtype", 0}, {"EraseKey", 80}, {"ProgTiming1", 2},
                   {"ProgTiming2", 9}, {"EepStart", 0xFFFFFFFF}, {"EepEnd", 0xFFFFFFFF}}},
    {"SC95F761xB", {{"EepSize", 6144}, {"ChipId", 0xDE8C}, {"ChipSubtype", 8}, {"ExtraFlags", 4},
                    {"EepStart", 1024}, {"EepEnd", 7167}}},
    {"SC95F867x", {{"ChipId", 0xDE8C}, {"EraseKey", 60}, {"ProgTiming1", 1}, {"ProgTiming2", 5}, {"EepSize", 6144}}},
    {"SC95F750x", {{"FlashSizeKB", 32}, {"FlashUnits", 128}, {"InterfaceMode", 2}, {"ControlFlags1", 0x81},
                   {"ControlFlags2", 0x40}, {"FamilyCode", 0x20}}},
    {"SC92F742x", {{"EepSize", 0}, {"ChipSubtype", 16}, {"ChipId", 0xDEA8}, {"FlashSizeKB", 16}}},
    {"SC92F754x", {{"EepSize", 0}}},
    {"SC92F74xx", {{"EepSize", 0}}},
    {"SC92F74xxB", {{"EepSize", 128}}},
    {"SC92F83xxB", {{"EepSize", 128}, {"FlashSizeKB", 8}}},
    {"SC92L75xx", {{"ChipSubtype", 18}, {"FlashSizeKB", 32}, {"EepSize", 1024}, {"EepEnd", 2047}}},
    // vendor 2
    {"IT8851FN-128", {{"ChipSubtype", 0x10}, {"FlashSizeKB", 128}, {"DeviceAddress", 0x80}, {"ExtraFlags", 1}}},
    {"IT8851FN-64", {{"ChipSubtype", 0x14}, {"FlashSizeKB", 64}, {"FlashUnits", 256}}},
    {"IT8856FN", {{"ChipSubtype", 0x00}, {"FlashSizeKB", 128}, {"ControlFlags0", 0x20}, {"ControlFlags2", 0x50}}},
    // vendor 3
    {"MC96F8208S", {{"FlashSizeKB", 8}, {"PageSize", 32}, {"FlashUnits", 1}, {"ChipId", 0xEE04},
                    {"OptionEnd", 31}, {"EepEnd", 31}, {"EepFileEnd", 31}, {"EepSize", 0}}},
    {"MC96F6332S", {{"FlashSizeKB", 32}, {"PageSize", 64}, {"FlashUnits", 2}, {"ChipId", 0xEE02}, {"ExtraFlags", 0}}},
    {"MC96F8216A", {{"FlashSizeKB", 16}, {"ChipId", 0xEE0B}, {"ExtraFlags", 4}, {"ChipSubtype", 9}}},
    // vendor 4
    {"ANX7411xx", {{"ChipSubtype", 1}, {"DeviceAddress", 0x7E}, {"FamilyCode", 0xF0}, {"FlashUnits", 256}}},
    // vendor 5, KF8
    {"KF8A100DTD", {{"FlashSizeKB", 8}, {"KfClass", 3}, {"PageSize", 64}, {"FlashUnits", 0}, {"ClockParam", 5800},
                    {"ChipId", 0xA11D}, {"EepSize", 128}}},
    {"KF8A100CSD", {{"FlashSizeKB", 4}, {"EepSize", 128}, {"KfClass", 0}, {"PageSize", 8}, {"ClockParam", 4500},
                    {"TopReservedWords", 6}, {"KfFlags", 0x20}, {"ControlFlags2", 0x40}, {"ChipSubtype", 0},
                    {"ChipId", 0xA10C}}},
    {"KF8A100GQS", {{"FlashSizeKB", 64}, {"EepSize", 256}, {"ChipId", 0xA148}, {"ChipSubtype", 0x10},
                    {"KfClass", 1}, {"TopReservedWords", 8}, {"KfFlags", 0}}},
    {"KF8F207SB", {{"FlashSizeKB", 4}, {"EepSize", 256}, {"EepStart", 0}, {"EepEnd", 255}, {"ChipId", 0xF207},
                   {"ChipSubtype", 0}, {"TopReservedWords", 6}, {"KfFlags", 0x10}}},
    {"KF8F333-S28", {{"EepSize", 0}, {"EepStart", 0xFFFFFFFF}, {"EepEnd", 0xFFFFFFFF}, {"ChipId", 0xB300}}},
    // The six-character comparison of "KF8F315"/"KF8F415" shadows the 128-byte rule: no EEP.
    {"KF8F3110SB", {{"EepSize", 0}, {"ChipId", 0xB310}, {"FlashSizeKB", 8}}},
    {"KF8F4156QP", {{"EepSize", 0}, {"ChipId", 0xB400}}},
    {"KF8F4132OG", {{"KfClass", 3}, {"ChipId", 0xB432}, {"FlashSizeKB", 16}}},
    {"KF8F2020SB", {{"ChipId", 0xC220}, {"ChipSubtype", 0}, {"EepSize", 0}}},
    {"KF8F6345QT", {{"FlashSizeKB", 64}, {"EepSize", 256}, {"ChipId", 0xC320}}},
    {"KF8L20Z04", {{"FlashSizeKB", 10}, {"EepSize", 256}, {"ChipId", 0xA204}}},
    {"KF8L15Z20", {{"FlashSizeKB", 20}, {"EepSize", 256}, {"ChipId", 0xA150}}},
    // vendor 5, KF32
    {"KF32A156MQW", {{"FlashSizeKB", 512}, {"ChipId", 0xE103}, {"ControlFlags1", 0x81}, {"ChipSubtype", 0x90},
                     {"ChipId2", 0xA156}, {"InterfaceMode", 0x80}, {"EepSize", 1024}, {"EepStart", 0x0C001C00},
                     {"OptionStart", 0x0C001000}, {"OptionEnd", 0x0C001BFF}, {"FlashUnits", 2}}},
    {"KF32LS200FNP", {{"FlashSizeKB", 512}, {"ChipId", 0xE092}, {"ControlFlags1", 0x80}, {"ChipId2", 0x2000},
                      {"ChipSubtype", 0xA0}}},
    {"KF32F350KQS", {{"ChipSubtype", 0x80}, {"ChipId", 0xC0B3}, {"ControlFlags1", 0x81}, {"ChipId2", 0xF350}}},
    {"KF32A150MNT", {{"ChipId", 0xE000}, {"ControlFlags1", 0x80}}},
    {"KF32A250GQS", {{"ChipId2", 0xA250}, {"FlashSizeKB", 64}, {"ChipId", 0x80B3}}},
    {"KF32L530KQV", {{"ChipId2", 0x1530}, {"ChipId", 0xC0F3}, {"ControlFlags1", 0x80}}},
    // vendor 6
    {"HC8AT3541-Q20", {{"ChipSubtype", 3}, {"FamilyCode", 0x40}, {"FlashUnits", 128}, {"InterfaceMode", 0x80}}},
    // vendor 7
    {"LE5010AI", {{"FlashEnd", 0x1807FFFF}, {"FlashSizeKB", 512}, {"ImageOffset", 0x18000000}, {"ExtraFlags", 1}}},
    {"LE5010AIE", {{"FlashEnd", 0x180FFFFF}, {"FlashSizeKB", 1024}, {"FlashUnits", 4096}}},
    // vendor 8
    {"IMD112T-6F040", {{"ChipSubtype", 0}, {"FamilyCode", 0xF1}, {"FlashSizeKB", 256}, {"PageSize", 256},
                       {"FlashUnits", 1024}, {"FlashStart", 0}, {"FlashEnd", 0x3FFFF}, {"EepStart", 0xFFFFFF}}},
};

TEST(Derivation, NameRulesOfEveryFamily) {
  for (const DerivationCase& c : kCases) {
    Host h;
    h.select(c.chip);
    for (const auto& [field, value] : c.expect) EXPECT_EQ(h.field(field), value) << c.chip << " " << field;
  }
}

TEST(Derivation, DefaultOptionDataPerFamily) {
  struct Case {
    const char* chip;
    std::vector<uint8_t> head;  // first bytes
    uint8_t rest;               // byte 100 (0xAB: untouched)
  };
  const Case cases[] = {
      {"Z51F3220SKX", {0, 0, 0, 0}, 0x00},
      {"SC95F750x", {0x5A, 0x96, 0x89, 0x10, 0}, 0x00},
      {"SC92L75xx", {0x5A, 0x96, 0x08, 0x32, 0}, 0x00},
      {"IT8856CX", {0xAB}, 0xAB},
      {"MC96F6432S", {0, 0}, 0x00},
      {"ANX7327xx", {0}, 0x00},
      {"KF8F4110SD", {0xFF, 0xFF}, 0xFF},
      {"KF32F130GNP", {0x5A, 0x5A, 0xA5, 0xA5, 0xFF}, 0xFF},
      {"LE5110SI", {0xAB}, 0xAB},
      {"IMD111T-6F040", {0xAB}, 0xAB},
  };
  for (const Case& c : cases) {
    Host h;
    h.option.fill(0xAB);
    h.select(c.chip);
    for (size_t i = 0; i < c.head.size(); ++i) EXPECT_EQ(h.option[i], c.head[i]) << c.chip << " [" << i << "]";
    EXPECT_EQ(h.option[100], c.rest) << c.chip;
    EXPECT_EQ(h.option[4095], c.rest) << c.chip;
  }
  Host h;
  h.select("HC8AT3541-T32");
  EXPECT_EQ(h.option[47], 0x00);
  EXPECT_EQ(h.option[48], 0x01);
  EXPECT_EQ(h.option[63], 0xFF);
  EXPECT_EQ(h.option[64], 0x00);
}

TEST(Derivation, ConfirmingResetsTheCommonFieldsButKeepsUnnamedOnes) {
  Host h;
  h.select("SC95F867x");
  h.s.ConfigByte0 = 0x12;
  h.s.ConfigByte1 = 0x34;
  h.s.DeviceAddress = 0x56;
  h.select("IMD111T-6F040");
  for (const char* f : {"EraseKey", "ProgTiming1", "ProgTiming2", "InterfaceMode", "DeviceAddress", "ConfigByte0",
                        "ConfigByte1", "ExtraFlags"})
    EXPECT_EQ(h.field(f), 0) << f;
  EXPECT_EQ(h.field("OperationMask"), 0x17);
  EXPECT_EQ(h.field("SettingsTag"), 0x53);

  // Only the Abov and ChipON families name the option and EEP-file windows; others keep what was there.
  h.select("KF32A151KQS");
  h.select("Z51F0811RFC");
  EXPECT_EQ(h.field("OptionStart"), 0x0C001000);
  EXPECT_EQ(h.field("EepFileBase"), 0xFFFFFFFF);

  // A KF8 chip's EEP window follows its own size whatever the previous chip had.
  h.select("SC95F750x");
  h.select("KF8F207SB");
  EXPECT_EQ(h.field("EepStart"), 0);
  EXPECT_EQ(h.field("EepEnd"), 255);
}

TEST(Derivation, ImageOffsetFollowsTheNewChipsFlashStart) {
  Host h;
  h.select("LE5010BI");
  EXPECT_EQ(h.field("ImageOffset"), 0x18000000);
  h.select("IMD111T-6F040");
  EXPECT_EQ(h.field("ImageOffset"), 0);
}

// Properties every catalogue entry must have, whatever the previous chip was.
TEST(Derivation, EveryEntryDerivesConsistentWindows) {
  Host h;
  for (const CatalogueEntry& e : AllCatalogueEntries()) {
    SelectChip(h.s, h.option, e.chip);
    const ChipSettings& s = h.s;
    SCOPED_TRACE(e.chip.ChipName);
    EXPECT_TRUE(s.ChipSelected);
    EXPECT_EQ(s.VendorIndex, e.chip.VendorIndex);
    EXPECT_EQ(s.FlashEnd, s.FlashStart + s.FlashSizeKB * 1024u - 1);
    EXPECT_EQ(s.ChipFlashSizeKB, s.FlashSizeKB);
    EXPECT_EQ(s.ImageOffset, s.FlashStart);
    EXPECT_GT(s.PageSize, 0);
    EXPECT_EQ(s.SettingsTag, 0x53);
    EXPECT_EQ(s.OperationMask, 0x17);
    if (s.EepSize > 0) {
      EXPECT_EQ(s.EepEnd - s.EepStart + 1, s.EepSize);
    }
    EXPECT_LE(s.FlashSizeKB * 1024u, 2099216u) << "flash must fit the flash image";
  }
}

TEST(Derivation, SizeTextAndStartupDefaults) {
  Host h;
  EXPECT_EQ(h.field("FlashSizeKB"), 128);
  EXPECT_EQ(h.field("PageSize"), 1024);
  EXPECT_EQ(h.field("FlashUnits"), 128);
  EXPECT_EQ(h.field("OptionStart"), 0x1FFFF800);
  EXPECT_EQ(h.field("SettingsTag"), 0x53);
  EXPECT_EQ(h.field("ChipSelected"), 0);
  h.select("IMD111T-6F040");
  EXPECT_EQ(FlashSizeText(h.s), "256 KB, No EEP.");
  h.select("SC95F750x");
  EXPECT_EQ(FlashSizeText(h.s), "32 KB,EEP=6144B.");
}

TEST(Derivation, UsedFlashScanShrinksTheDownload) {
  Host h;
  h.select("LE5010AI");
  auto img = std::make_unique<MemoryImage>();
  img->FlashImage.fill(0xFF);
  img->FlashImage[0x4FFF] = 0;
  UsedFlashScan(h.s, *img);
  EXPECT_EQ(h.s.FlashSizeKB, 20);
  EXPECT_EQ(h.s.FlashEnd, 0x18004FFFu);
  img->FlashImage[0x7FFFF] = 0;  // a second load uses the chip's full size again
  UsedFlashScan(h.s, *img);
  EXPECT_EQ(h.s.FlashSizeKB, 512);
}

}  // namespace
}  // namespace tarvel
