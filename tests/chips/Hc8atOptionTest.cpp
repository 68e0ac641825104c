#include <gtest/gtest.h>

#include "base/Errors.h"
#include "chips/CfgHC8AT3X.h"
#include "support/OptionHost.h"

namespace tarvel {
namespace {

using testing::OptionHost;

TEST(Hc8atOptionPage, ASelectedChipShowsTheDefaultsAndOkWritesThemBack) {
  OptionHost h("HC8AT3541-T32");
  THC8AT3XCfgFRM form(h.chip, h.option());
  h.run(form, {});
  for (const char* list : {"ComBoxRSTS", "ComBoxRSTTM", "ComBoxBORV", "ComBoxWDTE"}) EXPECT_EQ(form.itemOf(list), 0) << list;
  EXPECT_EQ(form.ComBoxRVCFG.itemIndex, 0);
  EXPECT_EQ(form.EditPSWN.text, "0x00000000");
  EXPECT_EQ(form.EditPSWO.text, "0x00000000");
  std::vector<uint8_t> page(64, 0x00);
  page[48 - 32] = 0x01;
  page[63 - 32] = 0xFF;
  EXPECT_EQ(h.bytes(32, 64), page);
  EXPECT_TRUE(form.OptionChanged);
}

TEST(Hc8atOptionPage, EveryVectorWritesItsCodeAndTheComplement) {
  struct Case {
    int item;
    uint8_t code, complement;
  };
  const Case cases[] = {{0, 0x00, 0xFF}, {1, 0x90, 0x6F}, {2, 0x98, 0x67}, {3, 0x9C, 0x63}, {4, 0x9E, 0x61}, {5, 0x9F, 0x60}};
  for (const Case& c : cases) {
    OptionHost h("HC8AT3541-Q20");
    THC8AT3XCfgFRM form(h.chip, h.option());
    h.run(form, {{"ComBoxRVCFG", std::to_string(c.item)}});
    EXPECT_EQ(h.bytes(62, 2), (std::vector<uint8_t>{c.code, c.complement})) << c.item;
    THC8AT3XCfgFRM again(h.chip, h.option());
    again.FormShow();
    EXPECT_EQ(again.ComBoxRVCFG.itemIndex, c.item);
  }
}

TEST(Hc8atOptionPage, ACodeOutsideTheTableShowsTheLastVector) {
  OptionHost h("HC8AT3541-T32");
  h.option()[62] = 0x91;
  h.option()[63] = 0x00;
  THC8AT3XCfgFRM form(h.chip, h.option());
  h.run(form, {});
  EXPECT_EQ(form.ComBoxRVCFG.itemIndex, 5);
  EXPECT_EQ(h.bytes(62, 2), (std::vector<uint8_t>{0x9F, 0x60}));
}

TEST(Hc8atOptionPage, EachSettingIsStoredAsAWholeByte) {
  struct Case {
    const char* list;
    size_t at;
    uint8_t stored;  // before the dialog
    int shown;
    const char* item;
    uint8_t written;
  };
  const Case cases[] = {
      {"ComBoxRSTS", 49, 0xFE, 0, "1", 0x01},
      {"ComBoxRSTTM", 56, 0xF6, 2, "3：16ms", 0x03},
      {"ComBoxBORV", 57, 0x0D, 5, "7", 0x07},
      {"ComBoxWDTE", 58, 0x81, 1, "0", 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    OptionHost h("HC8AT3541-T32");
    h.option()[c.at] = c.stored;
    THC8AT3XCfgFRM shown(h.chip, h.option());
    shown.FormShow();
    EXPECT_EQ(shown.itemOf(c.list), c.shown);
    THC8AT3XCfgFRM form(h.chip, h.option());
    h.run(form, {{c.list, c.item}});
    EXPECT_EQ(h.option()[c.at], c.written);
  }
}

TEST(Hc8atOptionPage, TheNewPasswordGoesIntoThePageAndTheOldOneIntoTheSettings) {
  OptionHost h("HC8AT3541-T32");
  THC8AT3XCfgFRM form(h.chip, h.option());
  h.run(form, {{"EditPSWN", "0x12345678"}, {"EditPSWO", "305419896"}});
  EXPECT_EQ(h.bytes(32, 4), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(h.chip.OldPassword, 0x12345678u);

  h.run(form, {{"EditPSWN", "0xA1B2C3D4"}});
  EXPECT_EQ(h.bytes(32, 4), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_EQ(h.chip.OldPassword, 0x12345678u);
  THC8AT3XCfgFRM shown(h.chip, h.option());
  shown.FormShow();
  EXPECT_EQ(shown.EditPSWN.text, "0xA1B2C3D4");
  EXPECT_EQ(shown.EditPSWO.text, "0x12345678");
}

TEST(Hc8atOptionPage, APasswordThatIsNotANumberStoresNothing) {
  struct Case {
    const char* newPassword;
    const char* oldPassword;
    const char* message;
  };
  const Case cases[] = {
      {"", "0x00000001", "'' is not a valid integer value"},
      {"0x00000002", "0xZZ", "'0xZZ' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    OptionHost h("HC8AT3541-T32");
    const std::vector<uint8_t> before = h.bytes(0, 128);
    THC8AT3XCfgFRM form(h.chip, h.option());
    try {
      h.run(form, {{"ComBoxRVCFG", "3"}, {"ComBoxBORV", "4"}, {"EditPSWN", c.newPassword}, {"EditPSWO", c.oldPassword}});
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(h.bytes(0, 128), before);
    EXPECT_EQ(h.chip.OldPassword, 0u);
  }
}

TEST(Hc8atOptionPage, PasswordFieldsTakeAtMostTenCharacters) {
  OptionHost h("HC8AT3541-T32");
  THC8AT3XCfgFRM form(h.chip, h.option());
  EXPECT_TRUE(form.setControl("EditPSWN", "0x12345678"));
  EXPECT_FALSE(form.setControl("EditPSWN", "0x123456789"));
  EXPECT_FALSE(form.setControl("EditPSWO", "12345678901"));
  EXPECT_EQ(form.EditPSWN.text, "0x12345678");
}

TEST(Hc8atOptionPage, ShowSetsOptionChangedEvenWhenCancelled) {
  OptionHost h("HC8AT3541-T32");
  THC8AT3XCfgFRM form(h.chip, h.option());
  h.run(form, {{"ComBoxRVCFG", "2"}}, Button::Cancel);
  EXPECT_TRUE(form.OptionChanged);
  EXPECT_EQ(h.option()[62], 0x00);
}

TEST(Hc8atOptionPage, ReportPrintsTwentyFourRowsInGroupsOfFour) {
  OptionHost h;
  std::vector<uint8_t> reply(384);
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<uint8_t>(i);
  ReportHc8atOptionPage(1, reply, h.log);
  const auto& l = h.log.lines();
  ASSERT_EQ(l.size(), 25u);
  EXPECT_EQ(l[0], "> 10:00:00 Read Chip 2 Option Byte : ");
  EXPECT_EQ(l[1], "  0x0000: 00 01 02 03   04 05 06 07   08 09 0A 0B   0C 0D 0E 0F   ");
  EXPECT_EQ(l[11], "  0x00A0: A0 A1 A2 A3   A4 A5 A6 A7   A8 A9 AA AB   AC AD AE AF   ");
  EXPECT_EQ(l[24], "  0x0170: 70 71 72 73   74 75 76 77   78 79 7A 7B   7C 7D 7E 7F   ");
}

}  // namespace
}  // namespace tarvel
