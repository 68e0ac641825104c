// The main window driven as a user drives it: start-up, chip selection and the family set-up, settings,
// keys, dialogs, views and closing.
#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/GbkText.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "chips/ChipSelectZPN.h"
#include "base/ManualEventLoop.h"
#include "support/FakePorts.h"
#include "support/TestFiles.h"
#include "ui/GenMainZPN.h"

namespace tarvel {
namespace {

using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

struct Session {
  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  TempDir dir;
  TGenMFrmZPN w{loop, dialogs, dir.path(), [] { return std::string("09:00:00"); }, testing::FakePorts()};
  Session() { w.FormShow(); }
  void select(const std::string& name) {
    auto e = FindChipByName(name);
    ASSERT_TRUE(e) << name;
    dialogs.answerModal({{{"RadioGrpSelMF", std::to_string(e->chip.VendorIndex)},
                          {"RadioGrpKFX", e->list->subList == "KF32xx" ? "1" : "0"},
                          {"ListBoxCP", std::to_string(e->chip.ListIndex)}},
                         Button::OK});
    w.DevButtonClick();
  }
  bool visible(const char* name) { return w.FindControl(name)->visible; }
  bool enabled(const char* name) { return w.FindControl(name)->enabled; }
  size_t count(const std::string& line) const {
    const auto& l = w.Log.lines();
    return static_cast<size_t>(std::count(l.begin(), l.end(), line));
  }
};

TEST(WindowModel, StartUp) {
  ScriptedDialogService dialogs;
  TempDir dir;
  WriteText(dir / "ResDW.Txt", "Download Success\r\n");
  ManualEventLoop loop;
  TGenMFrmZPN w(loop, dialogs, dir.path(), [] { return std::string("09:00:00"); }, testing::FakePorts());
  w.FormShow({"/p/line.pmw", "off"});
  EXPECT_FALSE(std::filesystem::exists(dir / "ResDW.Txt")) << "a stale result is never seen";
  const std::string fw = (dir / "TarvelIMOT.FWR").string();
  EXPECT_EQ(w.Log.lines(), (std::vector<std::string>{"", "> 09:00:00 Hello TarvelGenX User! ------ ",
                                                     "> 09:00:00 File of \"" + fw + "\" not Found!"}));
  EXPECT_EQ(dialogs.boxTexts(), std::vector<std::string>{"文件\"" + fw + "\"没有找到，请确认！"});
  EXPECT_TRUE(w.UnattendedMode);
  EXPECT_TRUE(w.NoRestartMode) << "OFF in any letter case";
  EXPECT_EQ(w.ProjectPath, "/p/line.pmw");
  EXPECT_FALSE(w.SpdBtnOpen.visible);
  EXPECT_FALSE(w.AutoSpdBtn.visible);
  EXPECT_TRUE(w.SpdBtnDownLoad.visible);
  EXPECT_TRUE(w.SearchPending);
  EXPECT_EQ(w.PageControlSet.activePage, 2);
  EXPECT_EQ(w.MCUNameEdit.text, "请选择目标MCU的型号...");
  EXPECT_FALSE(w.TabSheetEEP.visible);
  EXPECT_EQ(w.Image->OptionData[4095], 0xFF);
  EXPECT_EQ(w.Chip.SettingsTag, 0x53);

  Session interactive;
  EXPECT_FALSE(interactive.w.UnattendedMode);
  EXPECT_TRUE(interactive.w.SpdBtnOpen.visible);
}

TEST(WindowModel, GaugeLayout) {
  Session s;
  struct Case {
    int units, shown, firstTop, memo;
  };
  for (const Case c : {Case{0, 1, 466, 436}, Case{1, 1, 466, 436}, Case{2, 4, 408, 376}, Case{4, 4, 408, 376},
                       Case{6, 8, 331, 300}, Case{8, 8, 331, 300}, Case{9, 10, 292, 262}, Case{10, 10, 292, 262}}) {
    s.w.LayoutGauges(c.units);
    int shown = 0;
    for (const GaugeControl& g : s.w.Gauges) shown += g.visible;
    EXPECT_EQ(shown, c.shown) << c.units;
    EXPECT_EQ(s.w.Gauges[0].top, c.firstTop) << c.units;
    EXPECT_EQ(s.w.Gauges[static_cast<size_t>(c.shown - 1)].top, 466) << c.units;
    EXPECT_EQ(s.w.InfoMemo.height, c.memo) << c.units;
  }
}

// The family set-up: which controls each family offers, its defaults and the size text.
TEST(WindowModel, FamilySetUpForEveryVendor) {
  struct Case {
    const char* chip;
    const char* size;
    std::vector<const char*> shown, hidden, disabled;
    std::vector<std::pair<const char*, int>> items;  // radio group -> item index
  };
  const Case cases[] = {
      {"Z51F3220SKX", "32 KB, No EEP.", {"TabSheetCfg", "BtnOptionCfg", "CheckBoxOpt", "SpdBtnWrtOPB", "ReadOptionByte1"},
       {"ChkBoxCCX", "EditDevAdr", "TabSheetEEP", "ReadEEPMemory1", "TabSheetCP"}, {"ChkBoxEEP"},
       {{"RadioGpVolt", 0}, {"RadioGrpBKF", 0}}},
      {"SC95F750x", "32 KB,EEP=6144B.", {"TabSheetEEP", "LoadEepDataFile1", "SaveEepDatatoFile1", "TabSheetCP", "TabSheetCfg"},
       {"ChkBoxCCX", "BitBtnLdBSL", "ReadChipData"}, {}, {{"RadioGpVolt", 0}, {"RadioGrpBKF", 0}, {"PageControlSet", 0}}},
      {"IT8856FN", "128 KB, No EEP.", {"ChkBoxCCX", "LabelDEVA", "EditDevAdr"},
       {"TabSheetCfg", "BtnOptionCfg", "CheckBoxOpt", "SpdBtnWrtOPB", "WriteOptionByte1"}, {}, {{"RadioGrpBKF", 1}}},
      {"MC96F8316S", "16 KB, No EEP.", {"TabSheetCfg", "BtnOptionCfg"}, {"EditDevAdr"}, {}, {{"RadioGpVolt", 1}}},
      {"ANX7411xx", "128 KB, No EEP.", {"ReadChipData"},
       {"AutoSpdBtn", "SpdBtnErase", "SpdBtnProg", "SpdBtnVerify", "SpdBtnBlankChk", "TabSheetCfg", "BtnOptionCfg"}, {}, {}},
      {"KF8F4110SD", "16 KB, No EEP.", {"BtnOptionCfg"}, {"TabSheetCfg"}, {}, {{"RadioGpVolt", 1}}},
      {"KF32A156MQW", "512 KB,EEP=1024B.", {"TabSheetCfg", "TabSheetEEP"}, {}, {}, {{"RadioGpVolt", 1}}},
      {"HC8AT3541-T32", "32 KB, No EEP.", {"PanelPOLY", "TabSheetCfg"}, {"ButtonCfgSN", "ReadChipData"}, {},
       {{"RadioGpVolt", 1}}},
      {"LE5010AI", "512 KB, No EEP.", {"BitBtnLdBSL", "LabelDEVA", "EditDevAdr"},
       {"ChkBoxCCX", "AutoSpdBtn", "SpdBtnProg", "SpdBtnVerify", "SpdBtnErase", "SpdBtnBlankChk", "TabSheetCfg"},
       {"ReadCommand"}, {}},
      {"IMD111T-6F040", "256 KB, No EEP.", {"SpdBtnProg"},
       {"BitBtnLdBSL", "AutoSpdBtn", "SpdBtnVerify", "SpdBtnErase", "SpdBtnBlankChk", "ChkBoxBlkEr", "RadioGrpBKF",
        "CheckBoxOpt", "TabSheetCfg"},
       {"ReadCommand", "RadioGpVolt", "RadioGrpSpdF", "GroupBoxCfg"}, {{"PageControlSet", 3}, {"RadioGrpBKF", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    Session s;
    s.select(c.chip);
    EXPECT_EQ(s.w.lbFlashSize.text, c.size);
    EXPECT_EQ(s.count(std::string("> 09:00:00 Chip \"") + c.chip + "\" has been selected!"), 1u);
    for (const char* n : c.shown) EXPECT_TRUE(s.visible(n)) << n;
    for (const char* n : c.hidden) EXPECT_FALSE(s.visible(n)) << n;
    for (const char* n : c.disabled) EXPECT_FALSE(s.enabled(n)) << n;
    for (const auto& [n, i] : c.items) {
      if (auto* r = dynamic_cast<RadioGroup*>(s.w.FindControl(n))) {
        EXPECT_EQ(r->itemIndex, i) << n;
      }
      if (auto* g = dynamic_cast<PageGroup*>(s.w.FindControl(n))) {
        EXPECT_EQ(g->activePage, i) << n;
      }
    }
  }
}

TEST(WindowModel, ChipSelectionDetails) {
  Session s;
  s.select("IMD111T-6F040");
  EXPECT_EQ(s.w.SpinEditVddTim.value, 20);
  // Confirming the chip already shown: the derivation still resets, the window is not set up again.
  s.w.Chip.ConfigByte0 = 0x12;
  s.select("IMD111T-6F040");
  EXPECT_EQ(s.w.Chip.ConfigByte0, 0);
  EXPECT_EQ(s.count("> 09:00:00 Chip \"IMD111T-6F040\" has been selected!"), 1u);
  // No: nothing changes.
  s.dialogs.answerModal({{}, Button::Cancel});
  s.w.DevButtonClick();
  EXPECT_EQ(s.w.Chip.ChipName, "IMD111T-6F040");
  // A project can switch to another family: what the iMOTION set-up took away comes back.
  s.select("SC92F848x");
  for (const char* n : {"GroupBoxCfg", "RadioGrpSpdF", "ReadCommand"}) EXPECT_TRUE(s.enabled(n)) << n;
  for (const char* n : {"RadioGrpBKF", "ChkBoxBlkEr", "AutoSpdBtn"}) EXPECT_TRUE(s.visible(n)) << n;
  EXPECT_EQ(s.w.SpinEditEST.value, 80);
  EXPECT_EQ(s.w.SpinEditPGTM1.value, 1) << "0 is below the spin edit's range";
}

TEST(WindowModel, ChipDialogModel) {
  ChipSettings settings = StartupChipSettings();
  std::array<uint8_t, 4096> option{};
  TChipSelForm form(settings, option);
  form.FormShow();
  EXPECT_FALSE(form.RadioGrpSelMF.visible);
  EXPECT_FALSE(form.RadioGrpKFX.visible);
  EXPECT_EQ(form.ListBoxCP.items, (std::vector<std::string>{"IMD111T-6F040", "IMD112T-6F040"}));
  EXPECT_EQ(form.ListBoxCP.itemIndex, 0);
  EXPECT_EQ(form.formWidth, 400);
  EXPECT_EQ(form.ListBoxCP.left, 8);
  EXPECT_TRUE(form.setControl("RadioGrpSelMF", "5"));
  EXPECT_TRUE(form.RadioGrpKFX.visible);
  EXPECT_EQ(form.ListBoxCP.items.size(), 119u);
  EXPECT_TRUE(form.setControl("RadioGrpKFX", "1"));
  EXPECT_EQ(form.ListBoxCP.items.size(), 134u);
  EXPECT_TRUE(form.setControl("ListBoxCP", "KF32A156MQW"));
  EXPECT_FALSE(form.setControl("ListBoxCP", "NOPE"));
  form.OkClick();
  EXPECT_EQ(settings.ChipId, 0xE103);
  EXPECT_TRUE(settings.ChipSelected);
}

TEST(WindowModel, SettingControlsAsAUser) {
  Session s;
  s.w.SetControl("ChkBoxAuto", "1");
  EXPECT_TRUE(s.w.SpinEditIn.enabled && s.w.SpinEditOut.enabled);
  s.w.SetControl("SpinEditIn", "5000");
  EXPECT_EQ(s.w.SpinEditIn.value, 1500) << "a spin edit keeps its range";
  s.w.SetControl("ChkBoxAuto", "0");
  EXPECT_THROW(s.w.SetControl("SpinEditIn", "600"), std::invalid_argument) << "disabled";
  EXPECT_THROW(s.w.SetControl("SpinEditNum", "5"), std::invalid_argument);
  s.w.SetControl("CheckBoxCtrl", "1");
  s.w.SetControl("SpinEditNum", "500");
  EXPECT_EQ(s.w.SpinEditNum.value, 500);
  EXPECT_THROW(s.w.SetControl("CheckBoxOpt", "1"), std::invalid_argument) << "hidden until a family shows it";
  EXPECT_THROW(s.w.SetControl("SpinEditEST", "9"), std::invalid_argument) << "its page's tab is hidden";
  EXPECT_THROW(s.w.SetControl("MCUNameEdit", "X"), std::invalid_argument) << "read-only";
  EXPECT_THROW(s.w.SetControl("RadioGpVolt", "2"), std::invalid_argument);
  EXPECT_THROW(s.w.SetControl("NoSuchControl", "1"), std::invalid_argument);

  // The serial-number page.
  EXPECT_THROW(s.w.SetControl("SNEdit1", "0x12345678"), std::invalid_argument);
  s.w.SetControl("CheckBoxSN", "1");
  for (const char* n : {"SNEdit1", "GainEdit", "AddrEdit", "SNOrderChk", "ChkBoxPCSN"}) EXPECT_TRUE(s.enabled(n)) << n;
  s.w.SetControl("SNEdit1", "0x12345678");
  EXPECT_THROW(s.w.SetControl("SNEdit1", "0x123456789"), std::invalid_argument) << "at most 10 characters";
  s.w.SetControl("ChkBoxSNDP", "1");
  EXPECT_EQ(s.w.SNEdit1.text, "305419896");
  s.w.SetControl("ChkBoxSNDP", "0");
  EXPECT_EQ(s.w.SNEdit1.text, "0x12345678");
  s.w.SetControl("SNEdit1", "12x");
  EXPECT_THROW(s.w.SetControl("ChkBoxSNDP", "1"), ConversionError);
}

TEST(WindowModel, KeysAndCommands) {
  Session s;
  EXPECT_TRUE(s.w.KeyDown("Space"));  // the automatic sequence: no chip yet
  EXPECT_EQ(s.dialogs.boxTexts().back(), "请选择并确认芯片型号！");
  EXPECT_TRUE(s.w.KeyDown("F3"));  // "&Load Object File(Clear Buffer)": no chip yet
  EXPECT_EQ(s.dialogs.boxTexts().back(), "请先选择芯片型号！");
  EXPECT_FALSE(s.w.KeyDown("F11")) << "a hidden menu item does nothing";
  s.select("LE5010AI");
  EXPECT_FALSE(s.w.KeyDown("Ctrl+I")) << "the Read menu is disabled for this family";
  EXPECT_FALSE(s.w.Click("SpdBtnBlankChk")) << "hidden button";
  EXPECT_TRUE(s.w.KeyDown("F1"));
  EXPECT_EQ(s.dialogs.modalForms().back(), "TAboutForm");
  EXPECT_EQ(s.w.AboutForm.LabelAT.text, "Tarvel200IMOT iMOTION Programmer");

  s.w.CopyInformation1Click("");
  EXPECT_EQ(s.w.Clipboard, "") << "nothing selected, nothing copied";
  s.w.CopyInformation1Click("Hello");
  EXPECT_EQ(s.w.Clipboard, "Hello");
  EXPECT_TRUE(s.w.Click("ClearInformation1"));
  EXPECT_EQ(s.w.Log.size(), 0u);
  EXPECT_TRUE(s.w.KeyDown("Ctrl+X"));
  EXPECT_TRUE(s.w.Closed);
}

TEST(WindowModel, OptionDataCommands) {
  struct Case {
    const char* chip;
    size_t rows;
  };
  for (const Case c : {Case{"SC95F750x", 4}, Case{"Z51F3220SKX", 4}, Case{"MC96F8316S", 2}, Case{"ANX7411xx", 0},
                       Case{"IMD111T-6F040", 0}}) {
    Session s;
    s.select(c.chip);
    const size_t before = s.w.Log.size();
    s.w.ShowOptionData1Click();
    const auto& l = s.w.Log.lines();
    EXPECT_EQ(l.size() - before, c.rows ? c.rows + 2 : 0) << c.chip;
    if (c.rows) {
      EXPECT_EQ(l[before + 1], "> Chip Option Data as Below: ");
      EXPECT_EQ(l[before + 2].substr(0, 9), "  0x00 : ") << c.chip;
    }
  }
  Session s;
  s.select("SC95F750x");
  s.w.ShowOptionData1Click();
  EXPECT_EQ(s.w.Log.lines()[s.w.Log.size() - 4], "  0x00 : 5A 96 89 10 00 00 00 00 00 00 00 00 00 00 00 00");
  s.w.BtnOptionCfgClick();
  const auto& l = s.w.Log.lines();
  EXPECT_EQ(l[l.size() - 2], "> 09:00:00 芯片没有设置加密（可读）！");
  EXPECT_EQ(l.back(), "> 09:00:00 Config Data Set is : 0x1089.") << "the dialog's OK takes the option bytes";
  EXPECT_EQ(s.w.CfgDataView.rowCount(), 8) << "PageSize 128 / 16";
  Session h;
  h.select("HC8AT3541-Q32");
  h.w.BtnOptionCfgClick();
  EXPECT_EQ(h.w.CfgDataView.rowCount(), 15);
  EXPECT_EQ(h.w.CfgDataView.Row(3)[1], "01") << "option byte 48";
}

TEST(WindowModel, DataViews) {
  Session s;
  s.select("SC92L75xx");  // 32 KB, EEP 1024 at 0x400, blank fill 00
  const auto hex = s.dir / "v.hex";
  WriteText(hex, ":04000000417F800AB0\r\n");
  s.dialogs.answerFile(hex.string());
  s.w.SpdBtnOpenClick();
  EXPECT_EQ(s.w.HexViewer.rowCount(), 2048);
  const ViewRow r0 = s.w.HexViewer.Row(0);
  EXPECT_EQ(r0[0], "0x00000000");
  EXPECT_EQ(r0[1], "41");
  EXPECT_EQ(r0[4], "0A");
  EXPECT_EQ(r0[17], std::string("A\x7F..") + std::string(12, '.'));
  EXPECT_EQ(s.w.HexViewer.Row(2047)[0], "0x00007FF0");
  EXPECT_EQ(DataView::Header()[16], "  F");
  EXPECT_EQ(s.w.EEPDataView.rowCount(), 64);
  EXPECT_EQ(s.w.EEPDataView.Row(0)[0], "0x00000400");

  // The EEP check box follows whether the EEP image holds anything but the blank fill.
  s.w.SetControl("RadioGrpBKF", "1");
  s.w.Image->EepImage.fill(0xFF);
  s.w.ShowEepView();
  EXPECT_FALSE(s.w.ChkBoxEEP.checked);
  s.w.Image->EepImage[1023] = 0x00;
  s.w.ShowEepView();
  EXPECT_TRUE(s.w.ChkBoxEEP.checked);
  EXPECT_EQ(s.w.Log.lines().back().substr(11), "EEP Data CRC/ACC CheckSum = " +
                                                    Format("0x%0.4x/0x%0.4x", s.w.Image->EepCrc16, s.w.Image->EepAcc16));

  int firstRow = -1;
  s.w.onViewRowsChanged = [&](const DataView&, int first, int) { firstRow = first; };
  s.w.RefreshFlashRows(0xFFF0);
  EXPECT_EQ(firstRow, 0xFFF);
}

TEST(WindowModel, AddressDialogs) {
  ReadRange range;
  TSetAddressForm read(range, 0);
  read.FormShow();
  EXPECT_EQ(read.EditAddr.text, "0x00000000");
  EXPECT_EQ(read.SpinEditRD.value, 64);
  read.setControl("EditAddr", "0x1238");
  read.setControl("SpinEditRD", "1024");
  read.OkClick();
  EXPECT_EQ(range.start, 0x1230u);
  EXPECT_EQ(range.length, 256) << "256 at most when the family code is 0";
  TSetAddressForm again(range, 0x20);
  again.FormShow();
  EXPECT_EQ(again.EditAddr.text, "0x00001230");
  EXPECT_EQ(again.SpinEditRD.maxValue, 1024);
  again.setControl("EditAddr", "nope");
  EXPECT_THROW(again.OkClick(), ConversionError);
  EXPECT_EQ(range.start, 0x1230u) << "a conversion error changes nothing";

  Session s;
  s.select("LE5010AI");
  s.w.FormOfsAddr.FormShow();
  EXPECT_EQ(s.w.FormOfsAddr.EditOfsAddr.text, "0x18000000");
  s.w.FormOfsAddr.OkClick();
  EXPECT_EQ(s.w.Chip.BinOffset, 0u) << "the flash start itself is offset 0";
  s.w.FormOfsAddr.setControl("EditOfsAddr", "$18000100");
  s.w.FormOfsAddr.OkClick();
  EXPECT_EQ(s.w.Chip.BinOffset, 0x100u);
}

TEST(WindowModel, ClosingWritesTheLogOnce) {
  Session s;
  s.select("SC95F750x");
  for (int i = 0; i < 5; ++i) s.w.Log.MainMessage("第" + std::to_string(i) + "步");
  s.w.Close();
  s.w.Close();
  const auto dir = s.dir / "GenZPNxLogS";
  ASSERT_TRUE(std::filesystem::is_directory(dir));
  std::vector<std::filesystem::path> logs(std::filesystem::directory_iterator(dir), {});
  ASSERT_EQ(logs.size(), 1u);
  const std::string text = ReadText(logs[0]);
  EXPECT_NE(text.find(Utf8ToGbk("> 09:00:00 第4步\r\n")), std::string::npos);
  EXPECT_NE(text.find(Utf8ToGbk("Chip \"SC95F750x\" has been selected!")), std::string::npos);

  // The log dialog's settings are kept in the program directory when it closes.
  Session c;
  c.dialogs.answerModal({{{"RadioGrpCreat", "1"}, {"EditLogName", (c.dir / "line.log").string()}}, Button::OK});
  c.w.ConfigLogFile1Click();
  EXPECT_NE(ReadText(c.dir / "GenLogX.cfg").find("Customer"), std::string::npos);
  c.w.Close();
  EXPECT_TRUE(std::filesystem::exists(c.dir / "line.log"));
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(WindowModel, PortListAtStartUp) {
  {
    ScriptedDialogService dialogs;
    TempDir dir;
    WriteText(dir / "ConfigKqn.ini", "; units\r\n[Connection]\r\nTOTDEV=3\r\nDEV1=/dev/ttyUSB3\r\ndev2=ttyUSB1\r\nDEV3=/dev/pts/9\r\n");
    ManualEventLoop loop;
    TGenMFrmZPN w(loop, dialogs, dir.path(), LocalTimeText, testing::FakePorts());
    w.FormShow();
    EXPECT_EQ(w.Ops.unitCount, 3);
    EXPECT_EQ(w.ComboBoxCOM.items, (std::vector<std::string>{"/dev/ttyUSB3", "/dev/ttyUSB1", "/dev/pts/9"}));
    EXPECT_EQ(w.ComboBoxCOM.text, "/dev/pts/9");
    EXPECT_TRUE(w.Gauges[3].visible);
    EXPECT_FALSE(w.Gauges[4].visible);
  }
  {
    ScriptedDialogService dialogs;
    TempDir dir;
    WriteText(dir / "ConfigKqn.ini", "x\n[Connection]\nTOTDEV=two\nDEV1=/dev/ttyUSB0\n");
    ManualEventLoop loop;
    TGenMFrmZPN w(loop, dialogs, dir.path(), LocalTimeText, testing::FakePorts());
    w.PortPlaces.sysfsRoot = dir / "nosys";
    w.FormShow();
    EXPECT_EQ(w.Ops.unitCount, 0);
    EXPECT_EQ(w.ComboBoxCOM.text, "无可用的串口");
    ASSERT_FALSE(dialogs.boxes().empty());
    EXPECT_EQ(dialogs.boxes()[0].kind, BoxKind::Error);
    EXPECT_NE(w.Log.lines().back().find("not Found!"), std::string::npos) << "start-up went on";
  }
}

}  // namespace
}  // namespace tarvel
