#include <gtest/gtest.h>

#include <map>
#include <set>

#include "chips/CfgAbovRT.h"
#include "chips/CfgChipOnX.h"
#include "chips/CfgHC8AT3X.h"
#include "chips/CfgSC92XxRT.h"
#include "chips/CfgSC95XxRT.h"
#include "chips/CfgZ51FxRT.h"
#include "chips/OptionBytes.h"
#include "support/OptionHost.h"

namespace tarvel {
namespace {

using testing::OptionHost;

TEST(OptionDialogs, EveryFamilyLayoutKeepsItsFieldsApart) {
  const std::pair<const char*, std::span<const BitField>> layouts[] = {
      {"SC95", Sc95Layout()}, {"SC92", Sc92Layout()}, {"Abov", AbovLayout()},
      {"Z51F", Z51fLayout()}, {"KF8", ChipOnKf8Layout()}, {"HC8AT", Hc8atLayout()},
  };
  for (const auto& [family, layout] : layouts) {
    SCOPED_TRACE(family);
    std::set<std::string_view> names;
    std::map<uint16_t, unsigned> used;  // bits per byte
    for (const BitField& f : layout) {
      EXPECT_TRUE(names.insert(f.control).second) << f.control;
      ASSERT_LE(f.shift + f.width, 8) << f.control;
      const unsigned bits = static_cast<unsigned>(f.mask()) << f.shift;
      EXPECT_EQ(used[f.byte] & bits, 0u) << f.control << " overlaps";
      used[f.byte] |= bits;
      // Every item that can be chosen fits the field; only the last item may be empty.
      size_t choosable = f.items.size();
      if (!f.items.empty() && f.items.back().empty()) --choosable;
      EXPECT_EQ(choosable, size_t{1} << f.width) << f.control;
      for (size_t i = 0; i < choosable; ++i) EXPECT_FALSE(f.items[i].empty()) << f.control << " item " << i;
    }
  }
}

TEST(OptionDialogs, EveryItemOfEveryListRoundTrips) {
  for (const char* chip : {"SC95F750x", "SC92L75xx", "MC96F8316S", "Z51F3220SKX", "KF8A100CSD", "HC8AT3541-T20"}) {
    OptionHost h(chip);
    auto probe = MakeOptionDialog(h.chip.VendorIndex, h.chip, *h.image);
    auto* form = dynamic_cast<BitFieldForm*>(probe.get());
    ASSERT_TRUE(form) << chip;
    for (const ComboBoxControl& list : form->Lists) {
      for (size_t item = 0; item < list.items.size(); ++item) {
        if (list.items[item].empty()) continue;
        SCOPED_TRACE(std::string(chip) + " " + list.name + " " + std::to_string(item));
        std::vector<std::pair<std::string, std::string>> controls;
        for (const ComboBoxControl& l : form->Lists) controls.emplace_back(l.name, l.name == list.name ? std::to_string(item) : "0");
        auto writer = MakeOptionDialog(h.chip.VendorIndex, h.chip, *h.image);
        h.run(*writer, controls);
        auto reader = MakeOptionDialog(h.chip.VendorIndex, h.chip, *h.image);
        reader->FormShow();
        for (const ComboBoxControl& l : static_cast<BitFieldForm&>(*reader).Lists)
          EXPECT_EQ(l.itemIndex, l.name == list.name ? static_cast<int>(item) : 0) << l.name;
      }
    }
  }
}

TEST(OptionDialogs, TheChipChoosesTheDialog) {
  struct Case {
    const char* chip;
    const char* form;  // nullptr: none
  };
  const Case cases[] = {
      {"Z51F0410HCX", "TZ51FxCfgOpbF"}, {"SC95F750x", "TSC95XxOpbForm"}, {"SC95F761xB", "TSC95XxOpbForm"},
      {"SC92F742x", "TSC92XxOpbForm"},  {"SC92L75xx", "TSC92XxOpbForm"}, {"MC96F8316S", "TCfgAbovOpbF"},
      {"KF8F207SB", "TCfgChipOnXxF"},   {"KF32A156MQW", "TCfgKF32xxFrm"},  {"HC8AT3541-T32", "THC8AT3XCfgFRM"},
      {"IT8856FN", nullptr},            {"ANX7411xx", nullptr},          {"LE5010AI", nullptr},
      {"IMD111T-6F040", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    OptionHost h(c.chip);
    const OptionDialogResult r = OpenOptionDialog(h.chip.VendorIndex, h.chip, *h.image, h.dialogs, false);
    EXPECT_EQ(r.shown, c.form != nullptr);
    EXPECT_EQ(h.dialogs.modalForms(), c.form ? std::vector<std::string>{c.form} : std::vector<std::string>{});
    EXPECT_EQ(r.refreshOptionView, h.chip.VendorIndex != 5);
    EXPECT_EQ(r.refreshKf32View, std::string(c.chip) == "KF32A156MQW");
  }
}

TEST(OptionDialogs, OkGivesTheFamilysOptionChangedAndCancelChangesNothing) {
  struct Case {
    const char* chip;
    Button button;
    bool checkedBefore;
    bool checkedAfter;
    bool setsOptionEnabled;
  };
  const Case cases[] = {
      {"SC92F742x", Button::OK, false, true, true},       // byte 2 of the defaults is set
      {"MC96F6432S", Button::OK, true, false, false},     // both bytes zero
      {"Z51F0410HCX", Button::OK, true, false, false},    // nothing changed
      {"KF8F207SB", Button::OK, true, false, false},      // no list changed
      {"HC8AT3541-T32", Button::OK, false, true, false},  // always programmed
      {"MC96F6432S", Button::Cancel, true, true, false},
      {"Z51F0410HCX", Button::Cancel, true, true, false},
      {"HC8AT3541-T32", Button::Cancel, false, false, false},
      {"SC92F742x", Button::Cancel, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + (c.button == Button::OK ? " OK" : " Cancel"));
    OptionHost h(c.chip);
    h.dialogs.answerModal({{}, c.button});
    const OptionDialogResult r = OpenOptionDialog(h.chip.VendorIndex, h.chip, *h.image, h.dialogs, c.checkedBefore);
    EXPECT_TRUE(r.shown);
    EXPECT_EQ(r.accepted, c.button == Button::OK);
    EXPECT_EQ(r.optionChanged, c.checkedAfter);
    EXPECT_EQ(r.setsOptionEnabled, c.setsOptionEnabled);
  }
}

TEST(OptionDialogs, Kf32OkWritesTheAreaAndReportsTheChange) {
  OptionHost h("KF32A150MQT");
  h.dialogs.answerModal({{{"RadioGrpEncry", "1"}, {"RadioGrpCpMod", "2"}}, Button::OK});
  const OptionDialogResult r = OpenOptionDialog(5, h.chip, *h.image, h.dialogs, false);
  EXPECT_TRUE(r.optionChanged);
  EXPECT_TRUE(r.refreshKf32View);
  EXPECT_EQ(h.bytes(0, 4), (std::vector<uint8_t>{0x5A, 0x0E, 0xA5, 0xF1}));
  EXPECT_EQ(h.bytes(1024, 4), (std::vector<uint8_t>{0x5A, 0x5A, 0x5A, 0x5A}));
  EXPECT_EQ(h.bytes(2048, 4), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(h.chip.ConfigByte0, 1);
  EXPECT_EQ(h.chip.ConfigByte1, 2);
}

TEST(OptionDialogs, AnAbovPageSizeWithoutRoomOpensNothing) {
  for (uint16_t pageSize : {0, 1, 8192}) {
    OptionHost h("MC96F6432S");
    h.chip.PageSize = pageSize;
    const std::vector<uint8_t> before = h.bytes(0, 4096);
    EXPECT_FALSE(OpenOptionDialog(3, h.chip, *h.image, h.dialogs, true).shown) << pageSize;
    EXPECT_EQ(h.bytes(0, 4096), before);
  }
}

TEST(OptionReports, EachVendorPrintsItsOwnReport) {
  std::vector<uint8_t> reply(384);
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<uint8_t>(i + 0x10);
  struct Case {
    const char* chip;
    size_t lines;
    const char* first;
    const char* last;
  };
  const Case cases[] = {
      {"Z51F0410HCX", 5, "> 10:00:00 Read Chip 4 Option Byte : ", "  0x30: 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F"},
      {"MC96F8316S", 5, "> 10:00:00 Read Chip 4 Option Byte : ", "  0x30: 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F"},
      {"SC95F750x", 1, "> 10:00:00 Read Chip 4 Option Byte : 0x10 0x11 0x12 0x13 ", nullptr},
      {"KF8F207SB", 2, "", "> 10:00:00 Read Chip 4 Option Byte : 0x1110."},
      {"KF32A150MQT", 2, "", "> 10:00:00 Chip 4 加密和模式设置为 ：没有加密, MODE = 0x53525150."},
      {"HC8AT3541-T32", 25, "> 10:00:00 Read Chip 4 Option Byte : ",
       "  0x0170: 80 81 82 83   84 85 86 87   88 89 8A 8B   8C 8D 8E 8F   "},
      {"IT8856FN", 1, "> 10:00:00 Read Chip 4 Option Byte : 0x1110.", nullptr},
      {"ANX7411xx", 1, "> 10:00:00 Read Chip 4 Option Byte : 0x1110.", nullptr},
      {"LE5010AI", 1, "> 10:00:00 Read Chip 4 Option Byte : 0x1110.", nullptr},
      {"IMD112T-6F040", 1, "> 10:00:00 Read Chip 4 Option Byte : 0x1110.", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    OptionHost h(c.chip);
    ReportOptionBytes(h.chip.VendorIndex, h.chip, 3, reply, h.log);
    const auto& l = h.log.lines();
    ASSERT_EQ(l.size(), c.lines);
    EXPECT_EQ(l.front(), c.first);
    if (c.last) {
      EXPECT_EQ(l.back(), c.last);
    }
  }
}

TEST(OptionReports, AShortReplyIsSaidSoInsteadOfPrinted) {
  struct Case {
    const char* chip;
    size_t length;
    const char* line;
  };
  const Case cases[] = {
      {"Z51F0410HCX", 63, "> 10:00:00 Read Chip 1 Option Byte : 63 bytes read, 64 expected."},
      {"SC95F750x", 3, "> 10:00:00 Read Chip 1 Option Byte : 3 bytes read, 4 expected."},
      {"KF32A150MQT", 67, "> 10:00:00 Read Chip 1 Option Byte : 67 bytes read, 68 expected."},
      {"KF8F207SB", 1, "> 10:00:00 Read Chip 1 Option Byte : 1 bytes read, 2 expected."},
      {"HC8AT3541-T32", 64, "> 10:00:00 Read Chip 1 Option Byte : 64 bytes read, 384 expected."},
      {"IT8856FN", 0, "> 10:00:00 Read Chip 1 Option Byte : 0 bytes read, 2 expected."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    OptionHost h(c.chip);
    const std::vector<uint8_t> reply(c.length, 0xAB);
    ReportOptionBytes(h.chip.VendorIndex, h.chip, 0, reply, h.log);
    EXPECT_EQ(h.log.lines().back(), c.line);
  }
}

}  // namespace
}  // namespace tarvel
