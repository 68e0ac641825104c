#include <gtest/gtest.h>

#include "base/ManualEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "ops/ConfigSN.h"
#include "support/FakePorts.h"
#include "support/TestFiles.h"
#include "ui/GenMainZPN.h"

namespace tarvel {
namespace {

TEST(SerialNumbers, DataFieldBytes) {
  EXPECT_EQ(SerialDataBytes("12 34 5", true), (std::vector<uint8_t>{0x12, 0x34, 0x05}));
  EXPECT_EQ(SerialDataBytes("  1G2  FFF ", true), (std::vector<uint8_t>{0x02, 0xFF})) << "G counts as 0, values mod 256";
  EXPECT_EQ(SerialDataBytes("AB", false), (std::vector<uint8_t>{'A', 'B'}));
  EXPECT_EQ(SerialDataBytes("芯", false), (std::vector<uint8_t>{0xD0, 0xBE})) << "text goes to the chip as GBK";
  EXPECT_TRUE(SerialDataBytes("", true).empty());
}

struct Win {
  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  testing::TempDir dir;
  TGenMFrmZPN w{loop, dialogs, dir.path(), [] { return std::string("07:00:00"); }, testing::FakePorts()};
  Win() {
    w.FormShow();
    w.ConfirmChip(FindChipByName("SC95F750x")->chip);  // 32 KiB, EEP at 0x400
    testing::WriteText(dir / "fw.hex", ":0400000011223344A6\r\n");
    dialogs.answerFile((dir / "fw.hex").string());
    w.SpdBtnOpenClick();
    dialogs.clearRecord();
  }
};

TEST(SerialNumbers, WrittenIntoTheImageAndAdvanced) {
  for (bool big : {true, false}) {
    Win s;
    s.w.SetControl("CheckBoxSN", "1");
    s.w.SetControl("ChkBoxPCSN", "1");
    s.w.SetControl("SNOrderChk", big ? "1" : "0");
    s.w.SetControl("SNEdit1", "0x12345678");
    s.w.SetControl("AddrEdit", "0x0000FFF0");
    s.w.SetControl("GainEdit", "0x10");
    ApplyWindowSettings(s.w.CurrentWindowSettings(), s.w.Chip, *s.w.Image, s.w.Ops.settings);
    s.w.Ops.WriteSerialIntoImage();
    const auto& f = s.w.Image->FlashImage;
    const std::vector<uint8_t> got(f.begin() + 0xFFF0, f.begin() + 0xFFF4);
    EXPECT_EQ(got, big ? (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78}) : (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(s.w.Log.lines().back().substr(0, 44), "> 07:00:00 Main Flash SN CRC/ACC CheckSum = ");
    s.w.Ops.AdvanceSerial();
    s.w.Ops.AdvanceSerial();
    EXPECT_EQ(s.w.SNEdit1.text, "0x12345698");
    s.w.SetControl("ChkBoxSNDP", "1");
    s.w.Ops.AdvanceSerial();
    EXPECT_EQ(s.w.SNEdit1.text, "305419944");
  }
}

TEST(SerialNumbers, FixedDataDialogs) {
  Win s;
  s.dialogs.answerModal({{{"RadioGroupFM", "1"}, {"EditDataSN", "a5 5a"}, {"AddrEditSN", "0x100"}}, Button::OK});
  s.w.ButtonCfgSNClick();
  EXPECT_EQ(s.w.Image->FlashImage[0x100], 0xA5);
  EXPECT_EQ(s.w.Image->FlashImage[0x101], 0x5A);
  // The EEP area takes the EEP start as its address and writes into the EEP image.
  s.dialogs.answerModal({{{"RadioGrpSN", "1"}, {"EditDataSN", "ID"}}, Button::OK});
  s.w.ButtonCfgSNClick();
  EXPECT_EQ(s.w.Image->EepImage[0], 'I');
  EXPECT_EQ(s.w.Image->EepImage[1], 'D');
  s.dialogs.answerModal({{{"EditDataSN", ""}}, Button::OK});
  s.w.ButtonCfgSNClick();
  EXPECT_EQ(s.dialogs.boxTexts().back(), "请输入有效的序列号数据!");

  s.dialogs.answerModal({{{"RadioGroupFM", "1"}, {"EditDataSN", "01 02"}}, Button::OK});
  s.w.SpdBtnHolyClick("0x08");
  EXPECT_EQ(s.w.Image->OptionData[8], 0x01);
  EXPECT_EQ(s.w.Image->OptionData[9], 0x02);

  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  testing::TempDir dir;
  TGenMFrmZPN fresh(loop, dialogs, dir.path(), LocalTimeText, testing::FakePorts());
  fresh.ButtonCfgSNClick();
  EXPECT_EQ(dialogs.boxTexts().back(), "请先选择芯片并加载数据文件！");
}

}  // namespace
}  // namespace tarvel
