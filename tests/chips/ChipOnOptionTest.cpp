#include <gtest/gtest.h>

#include "chips/CfgChipOnX.h"
#include "chips/CfgKF32xRT.h"
#include "support/OptionHost.h"

namespace tarvel {
namespace {

using testing::OptionHost;
using Controls = std::vector<std::pair<std::string, std::string>>;

const char* const kKf8Lists[] = {"ComBoxWDT", "ComBoxRST", "ComBoxLVR", "ComBoxCP", "ComboxSWR", "ComBoxDBG"};

Controls AllKf8(const char* item) {
  Controls c;
  for (const char* name : kKf8Lists) c.emplace_back(name, item);
  return c;
}

TEST(Kf8Config, EachListClearsItsBitForItemZeroAndLeavesTheOthersSet) {
  struct Case {
    const char* what;
    Controls controls;
    uint8_t byte0, byte1;
  };
  const Case cases[] = {
      {"all item 0", AllKf8("0"), 0x17, 0xF9},
      {"all item 1", AllKf8("1"), 0xFF, 0xFF},
      {"WDT", {{"ComBoxWDT", "1"}}, 0x1F, 0xF9},
      {"RST", {{"ComBoxRST", "1"}}, 0x37, 0xF9},
      {"LVR", {{"ComBoxLVR", "1"}}, 0x57, 0xF9},
      {"CP", {{"ComBoxCP", "1"}}, 0x97, 0xF9},
      {"SWR", {{"ComboxSWR", "1"}}, 0x17, 0xFB},
      {"DBG", {{"ComBoxDBG", "DEBUG=1 禁止在线调试"}}, 0x17, 0xFD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OptionHost h("KF8F207SB");
    TCfgChipOnXxF form(h.chip);
    h.run(form, c.controls);
    EXPECT_EQ(h.chip.ConfigByte0, c.byte0);
    EXPECT_EQ(h.chip.ConfigByte1, c.byte1);
  }
}

TEST(Kf8Config, ShowDecodesTheConfigurationBytes) {
  OptionHost h("KF8F207SB");
  h.chip.ConfigByte0 = 0xA8;  // WDT, RST, CP
  h.chip.ConfigByte1 = 0x04;  // DBG
  TCfgChipOnXxF form(h.chip);
  h.run(form, {}, Button::Cancel);
  std::vector<int> shown;
  for (const char* name : kKf8Lists) shown.push_back(form.itemOf(name));
  EXPECT_EQ(shown, (std::vector<int>{1, 1, 0, 1, 0, 1}));
  EXPECT_EQ(h.chip.ConfigByte0, 0xA8);
  EXPECT_EQ(form.caption, "ChipOn配置位设置");
}

TEST(Kf8Config, OnlyChangingAListCountsAsChanged) {
  struct Case {
    const char* what;
    Controls controls;
    bool changed;
  };
  const Case cases[] = {
      {"nothing touched", {}, false},
      {"the shown item chosen again", {{"ComBoxLVR", "0"}}, false},
      {"a list changed", {{"ComBoxLVR", "1"}}, true},
      {"changed and changed back", {{"ComBoxLVR", "1"}, {"ComBoxLVR", "0"}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OptionHost h("KF8F207SB");
    TCfgChipOnXxF form(h.chip);
    h.run(form, c.controls);
    EXPECT_EQ(form.OptionChanged, c.changed);
  }
}

struct Kf32Case {
  int level;
  std::vector<uint8_t> word, fill;
};
const Kf32Case kLevels[] = {
    {0, {0x5A, 0x5A, 0xA5, 0xA5}, {0xFF, 0xFF, 0xFF, 0xFF}},
    {1, {0x5A, 0x0E, 0xA5, 0xF1}, {0x5A, 0x5A, 0x5A, 0x5A}},
    {2, {0xF1, 0xF2, 0xF3, 0xF4}, {0xFF, 0xFF, 0xFF, 0xFF}},
    {3, {0xDE, 0xBC, 0x21, 0x43}, {0xFF, 0xFF, 0xFF, 0xFF}},
};
const std::vector<uint8_t> kModeWords[] = {
    {0xFF, 0xFF, 0xFF, 0xFF}, {0x21, 0x43, 0x65, 0x87}, {0x78, 0x56, 0x34, 0x12}, {0x65, 0x87, 0x21, 0x43}};
const char* const kDecodedLevels[] = {"不加密！", "加密A！", "加密C！", "加密D！"};
const char* const kDecodedModes[] = {"NO_SET", " NO_ISP.", " ODMOD.", "ODMOD+NO_ISP."};

TEST(Kf32Config, EveryLevelAndModeWritesItsWordsAndDecodesBack) {
  for (const Kf32Case& level : kLevels) {
    for (int mode = 0; mode < 4; ++mode) {
      SCOPED_TRACE(std::to_string(level.level) + "/" + std::to_string(mode));
      OptionHost h("KF32A150MQT");
      TCfgKF32xxFrm form(h.chip, h.option());
      h.run(form, {{"RadioGrpEncry", std::to_string(level.level)}, {"RadioGrpCpMod", std::to_string(mode)}});
      EXPECT_EQ(h.bytes(0, 4), level.word);
      EXPECT_EQ(h.bytes(1024, 4), level.fill);
      EXPECT_EQ(h.bytes(2048, 4), kModeWords[mode]);
      EXPECT_EQ(h.chip.ConfigByte0, level.level);
      EXPECT_EQ(h.chip.ConfigByte1, mode);
      EXPECT_EQ(h.option()[4], 0xFF);  // the rest of the area keeps the selection's fill
      EXPECT_EQ(h.option()[1028], 0xFF);

      h.chip.ConfigByte0 = h.chip.ConfigByte1 = 0x55;
      ASSERT_TRUE(DecodeKf32Config(h.chip, h.option(), h.log));
      EXPECT_EQ(h.chip.ConfigByte0, level.level);
      EXPECT_EQ(h.chip.ConfigByte1, mode);
      EXPECT_EQ(h.log.lines().back(),
                std::string("> 10:00:00 芯片模式和加密设置为：") + kDecodedLevels[level.level] + kDecodedModes[mode]);
    }
  }
}

TEST(Kf32Config, ASelectedChipDecodesAsUnencryptedWithoutMode) {
  OptionHost h("KF32A150MQT");
  ASSERT_TRUE(DecodeKf32Config(h.chip, h.option(), h.log));
  EXPECT_EQ(h.log.lines(), (std::vector<std::string>{"> 10:00:00 芯片模式和加密设置为：不加密！NO_SET"}));
  EXPECT_EQ(h.chip.ConfigByte0, 0);
  EXPECT_EQ(h.chip.ConfigByte1, 0);
}

TEST(Kf32Config, WordsOutsideTheTablesDecodeAsTheFirstEntries) {
  OptionHost h("KF32A150MQT");
  std::fill_n(h.option().begin(), 4, 0x12);
  std::fill_n(h.option().begin() + 2048, 4, 0x00);
  h.chip.ConfigByte0 = h.chip.ConfigByte1 = 3;
  DecodeKf32Config(h.chip, h.option(), h.log);
  EXPECT_EQ(h.chip.ConfigByte0, 0);
  EXPECT_EQ(h.chip.ConfigByte1, 0);
}

TEST(Kf32Config, OnlyKf32ChipsAreDecoded) {
  for (const char* chip : {"KF8F207SB", "SC95F750x"}) {
    OptionHost h(chip);
    h.chip.ConfigByte0 = 0x12;
    EXPECT_FALSE(DecodeKf32Config(h.chip, h.option(), h.log)) << chip;
    EXPECT_EQ(h.chip.ConfigByte0, 0x12);
    EXPECT_TRUE(h.log.lines().empty());
  }
}

TEST(Kf32Config, ShowSelectsTheBytesAndASetByteCountsAsAChange) {
  struct Case {
    uint8_t byte0, byte1;
    Controls controls;
    int level, mode;
    bool changed;
  };
  const Case cases[] = {
      {0, 0, {}, 0, 0, false},
      {2, 0, {}, 2, 0, true},
      {0, 3, {}, 0, 3, true},
      {0, 0, {{"RadioGrpCpMod", "ODMOD  : 0x1234_5678"}}, 0, 2, true},
      {0, 0, {{"RadioGrpEncry", "0"}}, 0, 0, false},
      // A byte outside the tables (from elsewhere than this dialog) shows the first item.
      {9, 0, {}, 0, 0, false},
  };
  for (const Case& c : cases) {
    OptionHost h("KF32A150MQT");
    h.chip.ConfigByte0 = c.byte0;
    h.chip.ConfigByte1 = c.byte1;
    TCfgKF32xxFrm form(h.chip, h.option());
    h.run(form, c.controls, Button::Cancel);
    EXPECT_EQ(form.RadioGrpEncry.itemIndex, c.level);
    EXPECT_EQ(form.RadioGrpCpMod.itemIndex, c.mode);
    EXPECT_EQ(form.OptionChanged, c.changed) << int(c.byte0) << "/" << int(c.byte1);
    EXPECT_EQ(h.bytes(0, 4), kLevels[0].word);  // Cancel writes nothing
  }
}

std::vector<uint8_t> Kf32Reply(std::vector<uint8_t> word, std::vector<uint8_t> mode) {
  std::vector<uint8_t> r(68, 0xFF);
  std::copy(word.begin(), word.end(), r.begin());
  std::copy(mode.begin(), mode.end(), r.begin() + 64);
  return r;
}

TEST(ChipOnReport, Kf32ChipsGetTheEncryptionAndModeLine) {
  struct Case {
    std::vector<uint8_t> reply;
    const char* line;
  };
  const Case cases[] = {
      {Kf32Reply(kLevels[1].word, kModeWords[1]), "加密A, MODE = No_ISP."},
      {Kf32Reply(kLevels[2].word, kModeWords[0]), "加密C, MODE = NO_SET."},
      {Kf32Reply(kLevels[3].word, kModeWords[2]), "加密D, MODE = ODMOD."},
      {Kf32Reply(kLevels[0].word, kModeWords[3]), "没有加密, MODE = ODMOD+NO_ISP."},
      {Kf32Reply({1, 2, 3, 4}, kModeWords[0]), "没有加密, MODE = NO_SET."},
      // A mode word no mode has is shown as it is.
      {Kf32Reply(kLevels[0].word, {0, 0, 0, 0}), "没有加密, MODE = 0x00000000."},
      {Kf32Reply(kLevels[0].word, {0x21, 0x43, 0x65, 0x88}), "没有加密, MODE = 0x88654321."},
  };
  for (const Case& c : cases) {
    OptionHost h("KF32A150MQT");
    ReportChipOnOptionBytes(h.chip, 1, c.reply, h.log);
    EXPECT_EQ(h.log.lines(), (std::vector<std::string>{"", std::string("> 10:00:00 Chip 2 加密和模式设置为 ：") + c.line}));
  }
}

TEST(ChipOnReport, Kf8ChipsGetTheConfigurationWord) {
  OptionHost h("KF8F207SB");
  const std::vector<uint8_t> reply{0x17, 0xF9};
  ReportChipOnOptionBytes(h.chip, 9, reply, h.log);
  EXPECT_EQ(h.log.lines(), (std::vector<std::string>{"", "> 10:00:00 Read Chip 10 Option Byte : 0xF917."}));
}

}  // namespace
}  // namespace tarvel
