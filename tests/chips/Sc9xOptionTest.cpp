#include <gtest/gtest.h>

#include <map>

#include "chips/CfgSC92XxRT.h"
#include "chips/CfgSC95XxRT.h"
#include "support/OptionHost.h"

namespace tarvel {
namespace {

using testing::OptionHost;

const char* const kLists[] = {"ComBoxROP",  "ComBoxLVRS", "ComBoxDLVR", "ComBoxDRST", "ComBoxSCLK", "ComBoxEXTL",
                              "ComBoxWDTE", "ComBoxLDSZ", "ComBoxIAP",  "ComBoxJTAG", "ComBoxOPBL", "ComBoxVREF"};

std::map<std::string, int> Shown(const Sc9xOptionForm& f) {
  std::map<std::string, int> m;
  for (const char* name : kLists) m[name] = name == std::string("ComBoxROP") ? f.ComBoxROP.itemIndex : f.itemOf(name);
  return m;
}

std::vector<std::pair<std::string, std::string>> AllZero() {
  std::vector<std::pair<std::string, std::string>> c;
  for (const char* name : kLists) c.emplace_back(name, "0");
  return c;
}

TEST(Sc9xOptionBytes, ShowDecodesTheSelectionDefaultsAndOkKeepsThem) {
  struct Case {
    const char* chip;
    std::vector<uint8_t> defaults;
    std::map<std::string, int> shown;
  };
  const Case cases[] = {
      {"SC92F742x", {0x5A, 0x96, 0x08, 0x32},
       {{"ComBoxROP", 0}, {"ComBoxLVRS", 0}, {"ComBoxDLVR", 0}, {"ComBoxDRST", 1}, {"ComBoxSCLK", 0}, {"ComBoxEXTL", 0},
        {"ComBoxWDTE", 0}, {"ComBoxLDSZ", 2}, {"ComBoxIAP", 0}, {"ComBoxJTAG", 1}, {"ComBoxOPBL", 1}, {"ComBoxVREF", 0}}},
      {"SC95F750x", {0x5A, 0x96, 0x89, 0x10},
       {{"ComBoxROP", 0}, {"ComBoxLVRS", 1}, {"ComBoxDLVR", 0}, {"ComBoxDRST", 1}, {"ComBoxSCLK", 0}, {"ComBoxEXTL", 0},
        {"ComBoxWDTE", 1}, {"ComBoxLDSZ", 0}, {"ComBoxIAP", 0}, {"ComBoxJTAG", 1}, {"ComBoxOPBL", 0}, {"ComBoxVREF", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    OptionHost h(c.chip);
    ASSERT_EQ(h.bytes(0, 4), c.defaults);
    TSC95XxOpbForm form(h.chip, h.option());
    EXPECT_EQ(h.run(form, {}), Button::OK);
    EXPECT_EQ(Shown(form), c.shown);
    EXPECT_EQ(h.bytes(0, 4), c.defaults);
    EXPECT_EQ(h.chip.ConfigByte0, c.defaults[2]);
    EXPECT_EQ(h.chip.ConfigByte1, c.defaults[3]);
    EXPECT_TRUE(form.OptionChanged);  // byte 2 is not zero
  }
}

TEST(Sc9xOptionBytes, EachListStoresItsItemInItsBits) {
  struct Case {
    const char* list;
    const char* item;
    uint8_t byte1, byte2, byte3;
  };
  const Case cases[] = {
      {"ComBoxROP", "1", 0xFF, 0x00, 0x00},  {"ComBoxLVRS", "3", 0x96, 0x03, 0x00}, {"ComBoxDLVR", "1", 0x96, 0x04, 0x00},
      {"ComBoxDRST", "1", 0x96, 0x08, 0x00}, {"ComBoxSCLK", "2", 0x96, 0x20, 0x00}, {"ComBoxEXTL", "1", 0x96, 0x40, 0x00},
      {"ComBoxWDTE", "1", 0x96, 0x80, 0x00}, {"ComBoxLDSZ", "3", 0x96, 0x00, 0x03}, {"ComBoxIAP", "2", 0x96, 0x00, 0x08},
      {"ComBoxJTAG", "1", 0x96, 0x00, 0x10}, {"ComBoxOPBL", "1", 0x96, 0x00, 0x20}, {"ComBoxVREF", "3", 0x96, 0x00, 0xC0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    OptionHost h("SC95F750x");
    h.option()[0] = 0x00;
    TSC95XxOpbForm form(h.chip, h.option());
    auto controls = AllZero();
    controls.emplace_back(c.list, c.item);
    h.run(form, controls);
    EXPECT_EQ(h.bytes(0, 4), (std::vector<uint8_t>{0x5A, c.byte1, c.byte2, c.byte3}));
    EXPECT_EQ(h.chip.ConfigByte0, c.byte2);
    EXPECT_EQ(h.chip.ConfigByte1, c.byte3);
  }
}

TEST(Sc9xOptionBytes, OptionChangedWhenProtectedOrAnyProgrammedByteIsSet) {
  struct Case {
    const char* what;
    size_t at;  // a byte set to 1 before the dialog (0: none)
    const char* protection;
    bool changed;
  };
  const Case cases[] = {
      {"readable, all zero", 0, "0", false},
      {"protected", 0, "1", true},
      {"last programmed byte", 511, "0", true},
      {"beyond the programmed bytes", 512, "0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OptionHost h("SC92F742x");
    std::fill(h.option().begin(), h.option().end(), 0);
    if (c.at) h.option()[c.at] = 1;
    TSC92XxOpbForm form(h.chip, h.option());
    auto controls = AllZero();
    controls.emplace_back("ComBoxROP", c.protection);
    h.run(form, controls);
    EXPECT_EQ(form.OptionChanged, c.changed);
  }
}

TEST(Sc9xOptionBytes, AnyByteButTheReadableCodeShowsProtection) {
  OptionHost h("SC95F750x");
  h.option()[1] = 0x00;
  TSC95XxOpbForm form(h.chip, h.option());
  h.run(form, {}, Button::Cancel);
  EXPECT_EQ(form.ComBoxROP.itemIndex, 1);
  EXPECT_EQ(h.option()[1], 0x00);  // Cancel stores nothing
}

TEST(Sc9xOptionBytes, EmptyItemsCannotBeChosen) {
  // Their index would land in the neighbouring field (LDSZ item 4 is an IAP bit).
  OptionHost h("SC92F742x");
  TSC92XxOpbForm form(h.chip, h.option());
  form.FormShow();
  EXPECT_FALSE(form.setControl("ComBoxROP", "2"));
  EXPECT_FALSE(form.setControl("ComBoxLDSZ", "4"));
  EXPECT_EQ(form.itemOf("ComBoxLDSZ"), 2);
  EXPECT_EQ(form.ComBoxROP.itemIndex, 0);
}

TEST(Sc9xOptionBytes, TheSeriesDifferOnlyInTheirItemTexts) {
  OptionHost h("SC92F742x");
  TSC95XxOpbForm sc95(h.chip, h.option());
  TSC92XxOpbForm sc92(h.chip, h.option());
  EXPECT_EQ(sc95.caption, sc92.caption);
  ASSERT_EQ(sc95.Lists.size(), sc92.Lists.size());
  for (size_t i = 0; i < sc95.Lists.size(); ++i) {
    const bool differs = sc95.Lists[i].items != sc92.Lists[i].items;
    const std::string& name = sc95.Lists[i].name;
    EXPECT_EQ(differs, name == "ComBoxDRST" || name == "ComBoxLDSZ" || name == "ComBoxIAP") << name;
  }
  EXPECT_EQ(sc92.list("ComBoxIAP")->items[0], "00: 全部ROM不允许IAP操作");
  EXPECT_EQ(sc95.list("ComBoxDRST")->items[1], "1 ：P5.2当正常的I/O 管脚使用");
}

TEST(Sc9xOptionBytes, ReportPrintsTheFourBytesOnOneLine) {
  OptionHost h;
  const std::vector<uint8_t> reply{0x5A, 0x96, 0x08, 0x32, 0xEE};
  ReportSc9xOptionBytes(2, reply, h.log);
  EXPECT_EQ(h.log.lines(), (std::vector<std::string>{"> 10:00:00 Read Chip 3 Option Byte : 0x5A 0x96 0x08 0x32 "}));
}

}  // namespace
}  // namespace tarvel
