#include <gtest/gtest.h>

#include <map>

#include "chips/CfgAbovRT.h"
#include "chips/CfgZ51FxRT.h"
#include "support/OptionHost.h"

namespace tarvel {
namespace {

using testing::OptionHost;
using Controls = std::vector<std::pair<std::string, std::string>>;

std::map<std::string, int> Shown(const BitFieldForm& f) {
  std::map<std::string, int> m;
  for (const ComboBoxControl& l : f.Lists) m[l.name] = l.itemIndex;
  return m;
}

TEST(AbovOptionBytes, TheBytesEndTheOptionPageOfTheChip) {
  struct Case {
    const char* chip;
    size_t low;
  };
  for (const Case& c : {Case{"MC96F8316S", 30}, Case{"MC96F6432S", 62}}) {
    SCOPED_TRACE(c.chip);
    OptionHost h(c.chip);
    h.option()[c.low] = 0x0D;      // SAWP 1, SSAWP 5
    h.option()[c.low + 1] = 0xD1;  // CRP, CWP, VAP, RSTP
    TCfgAbovOpbF form(h.chip, h.option());
    h.run(form, {{"ComBoxCWP", "0"}, {"ComBoxSSAWP", "2"}});
    EXPECT_EQ(Shown(form), (std::map<std::string, int>{{"ComBoxCRP", 1}, {"ComBoxCWP", 0}, {"ComBoxVAP", 1},
                                                       {"ComBoxRSTP", 1}, {"ComBoxSAWP", 1}, {"ComBoxSSAWP", 2}}));
    EXPECT_EQ(h.bytes(c.low, 2), (std::vector<uint8_t>{0x0A, 0x91}));
    EXPECT_EQ(h.chip.ConfigByte0, 0x0A);
    EXPECT_EQ(h.chip.ConfigByte1, 0x91);
    // Nothing else of the page changes.
    EXPECT_EQ(h.bytes(0, c.low), std::vector<uint8_t>(c.low, 0x00));
    EXPECT_EQ(h.option()[c.low + 2], 0x00);
  }
}

TEST(AbovOptionBytes, EachListSetsItsBitsAndAnyNonZeroByteCountsAsChanged) {
  struct Case {
    const char* list;
    const char* item;
    uint8_t low, high;
  };
  const Case cases[] = {
      {"ComBoxCRP", "1", 0x00, 0x80},  {"ComBoxCWP", "1", 0x00, 0x40},   {"ComBoxVAP", "1", 0x00, 0x10},
      {"ComBoxRSTP", "1", 0x00, 0x01}, {"ComBoxSAWP", "1", 0x08, 0x00}, {"ComBoxSSAWP", "5", 0x05, 0x00},
      {"ComBoxSSAWP", "0", 0x00, 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " " + c.item);
    OptionHost h("MC96F6432S");
    TCfgAbovOpbF form(h.chip, h.option());
    h.run(form, {{c.list, c.item}});
    EXPECT_EQ(h.bytes(62, 2), (std::vector<uint8_t>{c.low, c.high}));
    EXPECT_EQ(form.OptionChanged, c.low != 0 || c.high != 0);
  }
}

TEST(AbovOptionBytes, BitsWithoutAListAreWrittenAsZero) {
  OptionHost h("MC96F6432S");
  h.option()[62] = 0xFF;
  h.option()[63] = 0xFF;
  TCfgAbovOpbF form(h.chip, h.option());
  h.run(form, {});
  EXPECT_EQ(h.bytes(62, 2), (std::vector<uint8_t>{0x0F, 0xD1}));
}

TEST(AbovOptionBytes, PageSizesWithoutRoomForTheBytesHaveNoPosition) {
  EXPECT_EQ(AbovOptionPosition(32), 30u);
  EXPECT_EQ(AbovOptionPosition(4096), 4094u);
  for (uint16_t bad : {0, 1, 4097, 65535}) EXPECT_FALSE(AbovOptionPosition(bad)) << bad;
}

TEST(Z51fOptionBytes, EachListSetsItsBitsAtTheEndOfThePage) {
  struct Case {
    Controls controls;
    uint8_t low, high;
  };
  const Case cases[] = {
      {{{"ComBoxROP", "1"}}, 0x00, 0x80},
      {{{"ComBoxHLCK", "1"}}, 0x00, 0x40},
      {{{"ComBoxRSTB", "1"}}, 0x00, 0x01},
      {{{"ComBoxPAEN", "1"}}, 0x04, 0x00},
      {{{"ComBoxPASS", "2"}}, 0x02, 0x00},
      {{{"ComBoxPAEN", "1"}, {"ComBoxPASS", "1 1 : 256 Bytes (Address 0100H - 01FFH)"}}, 0x07, 0x00},
  };
  for (const Case& c : cases) {
    OptionHost h("Z51F0811RFC");
    TZ51FxCfgOpbF form(h.chip, h.option());
    h.run(form, c.controls);
    EXPECT_EQ(h.bytes(62, 2), (std::vector<uint8_t>{c.low, c.high})) << c.controls.front().first;
    EXPECT_EQ(h.chip.ConfigByte0, c.low);
    EXPECT_EQ(h.chip.ConfigByte1, c.high);
    EXPECT_TRUE(form.OptionChanged);
  }
}

TEST(Z51fOptionBytes, OnlyAChangedByteCountsAsChanged) {
  struct Case {
    const char* what;
    uint8_t storedLow, storedHigh;
    Controls controls;
    bool changed;
  };
  const Case cases[] = {
      {"set bytes confirmed unchanged", 0x07, 0xC1, {}, false},
      {"all zero confirmed", 0x00, 0x00, {}, false},
      {"one list changed", 0x07, 0xC1, {{"ComBoxHLCK", "0"}}, true},
      // Bits no list shows are cleared, which changes the byte.
      {"stored bits outside the lists", 0x00, 0xFF, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OptionHost h("Z51F0811RFC");
    h.option()[62] = c.storedLow;
    h.option()[63] = c.storedHigh;
    TZ51FxCfgOpbF form(h.chip, h.option());
    h.run(form, c.controls);
    EXPECT_EQ(form.OptionChanged, c.changed);
  }
}

TEST(OptionPageReport, PrintsFourRowsOfSixteenBytes) {
  OptionHost h;
  std::vector<uint8_t> reply(64);
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<uint8_t>(0xC0 + i);
  ReportOptionPage64(0, reply, h.log);
  EXPECT_EQ(h.log.lines(),
            (std::vector<std::string>{
                "> 10:00:00 Read Chip 1 Option Byte : ",
                "  0x00: C0 C1 C2 C3 C4 C5 C6 C7 C8 C9 CA CB CC CD CE CF",
                "  0x10: D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB DC DD DE DF",
                "  0x20: E0 E1 E2 E3 E4 E5 E6 E7 E8 E9 EA EB EC ED EE EF",
                "  0x30: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF",
            }));
}

}  // namespace
}  // namespace tarvel
