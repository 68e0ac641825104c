// The host against simulated units on pseudo-terminals: the window model on the real serial ports and
// the headless event loop, as tarvelctl runs it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>

#include "base/Format.h"
#include "base/LoopWait.h"
#include "base/PollEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "ops/FirmwareFile.h"
#include "e2e/UnitSimProcess.h"
#include "support/TestFiles.h"
#include "cli/Cli.h"
#include "ui/GenMainZPN.h"

namespace tarvel {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::TempDir;
using testing::UnitSimProcess;

struct Line {
  TempDir dir;
  std::unique_ptr<UnitSimProcess> sim;
  PollEventLoop loop;
  ScriptedDialogService dialogs;
  std::unique_ptr<TGenMFrmZPN> w;
  int units;

  Line(int n, std::vector<std::string> options = {}) : units(n) {
    options.insert(options.end(), {"--log", (dir / "requests.jsonl").string()});
    sim = std::make_unique<UnitSimProcess>(dir.path(), n, options);
    w = std::make_unique<TGenMFrmZPN>(loop, dialogs, dir.path(), [] { return std::string("06:00:00"); });
    w->FormShow();
  }
  ~Line() {
    if (w) w->Close();
  }
  // The start-up search, until every unit has answered.
  bool find(int expected = -1) {
    if (expected < 0) expected = units;
    return RunLoopUntil(loop, [&] { return w->Ops.foundCount >= expected && !w->Ops.searching(); },
                        milliseconds(300 + 100 * units + 15000));
  }
  void select(const std::string& chip) { w->ConfirmChip(FindChipByName(chip)->chip); }
  void load(const std::string& name, const std::string& text) {
    testing::WriteText(dir / name, text);
    dialogs.answerFile((dir / name).string());
    w->SpdBtnOpenClick();
  }
  void loadBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    testing::WriteBytes(dir / name, bytes);
    dialogs.answerFile((dir / name).string());
    w->SpdBtnOpenClick();
  }
  bool run(UnitCommand c, seconds limit = seconds(60)) {
    if (!w->RunUnitCommand(c)) return false;
    return RunLoopUntil(loop, [&] { return !w->Ops.AnyBusy(); }, limit);
  }
  std::vector<nlohmann::json> requests(int unit) {
    std::vector<nlohmann::json> out;
    std::ifstream f(dir / "requests.jsonl");
    std::string line;
    while (std::getline(f, line)) {
      auto j = nlohmann::json::parse(line);
      if (j["unit"] == unit) out.push_back(j);
    }
    return out;
  }
  std::vector<std::string> names(int unit) {
    std::vector<std::string> out;
    for (const auto& j : requests(unit)) out.push_back(j["name"]);
    return out;
  }
  size_t count(const std::string& line) const {
    const auto& l = w->Log.lines();
    return static_cast<size_t>(std::count(l.begin(), l.end(), line));
  }
  GaugeControl& gauge(int i) { return w->Gauges[static_cast<size_t>(i)]; }
  std::vector<uint8_t> chipFlash(int unit) { return testing::ReadBytes(dir / ("unit" + std::to_string(unit) + "-flash.bin")); }
};

TEST(EndToEnd, DiscoveryOfOneThreeAndTenUnits) {
  for (int n : {1, 3, 10}) {
    SCOPED_TRACE(n);
    Line line(n);
    ASSERT_TRUE(line.find()) << n;
    for (int i = 0; i < n; ++i) {
      EXPECT_TRUE(line.w->Ops.channel(i).connected);
      EXPECT_EQ(line.count(Format("> 06:00:00 C%d : 找到设备：Tarvel200IMOT V1.10!", i + 1)), 1u);
    }
    RunLoopUntil(line.loop, [] { return false; }, milliseconds(150));
    EXPECT_FALSE(line.w->Loop.timerEnabled(line.w->Timer2)) << "all found: the search timer stops";
  }
}

TEST(EndToEnd, DownloadWithAndWithoutEep) {
  Line line(2);
  ASSERT_TRUE(line.find());
  line.select("Z51F6412ARX");  // 64 KiB, no EEP
  line.load("fw.hex", ":0400000011223344A6\r\n");
  ASSERT_TRUE(line.run(UnitCommand::Download));
  EXPECT_EQ(line.count("> 06:00:00 C1 : 数据下载成功！"), 1u);
  EXPECT_EQ(line.w->Ops.downloadCount, 2);
  line.sim->stop();
  const auto names = line.names(2);
  ASSERT_EQ(names.size(), 1u + 1 + 16 + 1);
  EXPECT_EQ(names[0], "Discovery");
  EXPECT_EQ(names[1], "DownloadConfig");
  EXPECT_EQ(names[17], "DownloadFlashBlock");
  EXPECT_EQ(names[18], "RestartUnit");
  for (const auto& j : line.requests(2)) {
    if (j["name"] != "Discovery") {
      EXPECT_TRUE(j["checkGood"].get<bool>());
    }
  }

  Line eep(1);
  ASSERT_TRUE(eep.find());
  eep.select("SC95F750x");  // EEP 6144 bytes
  eep.load("fw.hex", ":0400000011223344A6\r\n");
  eep.w->SetControl("ChkBoxEEP", "1");
  ASSERT_TRUE(eep.run(UnitCommand::Download));
  eep.sim->stop();
  const auto r = eep.requests(1);
  int eepBlocks = 0;
  for (const auto& j : r) eepBlocks += j["name"] == "DownloadEepBlock";
  EXPECT_EQ(eepBlocks, 2);
}

TEST(EndToEnd, DriverImageOfVendor7) {
  for (bool eepChecked : {false, true}) {
    Line line(1);
    ASSERT_TRUE(line.find());
    line.select("LE5010AI");
    line.loadBytes("fw.bin", std::vector<uint8_t>(8192, 0x5A));
    testing::WriteBytes(line.dir / "sbl.bin", std::vector<uint8_t>(3000, 0x77));
    line.dialogs.answerFile((line.dir / "sbl.bin").string());
    line.w->BitBtnLdBSLClick();
    line.w->ChkBoxEEP.checked = eepChecked;  // the family set-up leaves it unavailable; a project may check it
    ASSERT_TRUE(line.run(UnitCommand::Download));
    line.sim->stop();
    int eepBlocks = 0;
    for (const auto& j : line.requests(1)) eepBlocks += j["name"] == "DownloadEepBlock";
    // 3004 bytes of driver image are one block; with EEP checked the EEP image goes instead (one block
    // although the chip has no EEP: the first block always goes out).
    EXPECT_EQ(eepBlocks, 1);
    EXPECT_EQ(line.count(std::string("> 06:00:00 C1 : ") +
                         (eepChecked ? "开始下载EEP Data数据......" : "开始下载SBL Driver Data......")),
              1u);
  }
}

TEST(EndToEnd, AutomaticSequenceOnBlankNotBlankAndProtectedChips) {
  Line line(3, {"--not-blank", "2", "--protected", "3"});
  ASSERT_TRUE(line.find());
  line.select("SC92F848x");  // 16 KiB
  std::vector<uint8_t> data(12288);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  line.loadBytes("fw.bin", data);
  ASSERT_TRUE(line.run(UnitCommand::AutoProgram));
  EXPECT_EQ(line.count("> 06:00:00 C2 : 芯片不为空! 擦除芯片..."), 1u);
  EXPECT_EQ(line.count("> 06:00:00 C3 : 芯片已保护，擦除芯片..."), 1u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(line.count(Format("> 06:00:00 C%d : Flash数据校验成功！", i + 1)), 1u) << i;
    EXPECT_EQ(line.gauge(i).colour, GaugeColour::Blue);
  }
  line.sim->stop();
  for (int u = 1; u <= 3; ++u) {
    const auto chip = line.chipFlash(u);
    ASSERT_GE(chip.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), chip.begin())) << "unit " << u;
  }
}

TEST(EndToEnd, VerifyMismatchReportsTheFirstDifference) {
  Line line(2, {"--verify-corrupt", "1:0x1234"});
  ASSERT_TRUE(line.find());
  line.select("SC92F848x");
  line.loadBytes("fw.bin", std::vector<uint8_t>(16384, 0x3C));
  ASSERT_TRUE(line.run(UnitCommand::AutoProgram));
  ASSERT_EQ(line.dialogs.boxes().size(), 2u);  // the missing firmware file, then the difference
  EXPECT_EQ(line.dialogs.boxes()[1].text.substr(0, 26), "Chip 1: Address=0x00001234");
  EXPECT_EQ(line.count("> 06:00:00 C1 : 数据编程校验错误!"), 1u);
  EXPECT_EQ(line.gauge(0).colour, GaugeColour::Red);
  EXPECT_EQ(line.gauge(1).colour, GaugeColour::Blue);
}

TEST(EndToEnd, FaultyUnitsFailAloneAndTheOthersFinish) {
  Line line(4, {"--silent-after", "1:3", "--hangup-after", "2:6", "--garbage", "3", "--bad-check", "4"});
  ASSERT_TRUE(line.find(4));
  line.select("Z51F6412ARX");
  line.loadBytes("fw.bin", std::vector<uint8_t>(65536, 0xA5));
  ASSERT_TRUE(line.run(UnitCommand::Download, seconds(40)));
  EXPECT_EQ(line.count("> 06:00:00 C1 : 命令执行操作超时！"), 1u) << "silent after two blocks";
  EXPECT_FALSE(line.w->Ops.channel(1).connected) << "unplugged in the middle";
  EXPECT_EQ(line.count("> 06:00:00 C3 : 数据下载成功！"), 1u) << "noise and split frames are no obstacle";
  EXPECT_EQ(line.count("> 06:00:00 C4 : 操作失败！错误代码: 035/0x23"), 1u);
  EXPECT_EQ(line.gauge(0).colour, GaugeColour::Red);
  EXPECT_EQ(line.gauge(2).colour, GaugeColour::Blue);
  EXPECT_EQ(line.gauge(3).colour, GaugeColour::Red);
}

TEST(EndToEnd, UnitsProgramOnTheirOwnAfterADownload) {
  Line line(2, {"--insert-every", "0.2", "--cycles", "3", "--fail-cycle", "2:2:0x31"});
  ASSERT_TRUE(line.find());
  // Chip detection is switched on before the chip: the iMOTION set-up disables the settings group.
  line.w->SetControl("ChkBoxAuto", "1");
  line.select("IMD111T-6F040");
  line.load("fw.ldf", "%:Parameters Data Section Begin\r\nA0 1 2 3 3 AA BB CC\r\n");
  ASSERT_TRUE(line.run(UnitCommand::Download));
  RunLoopUntil(line.loop, [&] { return line.w->Ops.channel(0).okCount + line.w->Ops.channel(1).okCount +
                                           line.w->Ops.channel(1).ngCount >= 6; },
               seconds(10));
  EXPECT_EQ(line.w->Ops.channel(0).okCount, 3);
  EXPECT_EQ(line.w->Ops.channel(1).okCount, 2);
  EXPECT_EQ(line.w->Ops.channel(1).ngCount, 1);
  EXPECT_EQ(line.count("> 06:00:00 C2 : Progrmming Completed : Failed : Error=0x31!"), 1u);
  EXPECT_EQ(line.count("> 06:00:00 C1 : OK=3, NG=0."), 1u);
}

TEST(EndToEnd, OfflineStartRestartsEveryUnit) {
  Line line(2);
  ASSERT_TRUE(line.find());
  line.w->StartOfflineProgrm1Click();
  RunLoopUntil(line.loop, [] { return false; }, milliseconds(300));
  line.sim->stop();
  for (int u = 1; u <= 2; ++u) EXPECT_EQ(line.names(u).back(), "RestartUnit") << u;
  EXPECT_FALSE(line.w->Ops.channel(0).connected);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(EndToEnd, TheSearchUpgradesOutdatedFirmwareAndSearchesAgain) {
  RandomSource random(3);
  std::vector<uint8_t> raw(5000);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i);
  Line line(2, {"--version", "1:V1.05", "--model", "2:Tarvel200XXX"});
  WriteFirmwareFile(line.dir / "TarvelIMOT.FWR", raw, "V1.10", random);
  line.w->FormShow();  // start again, now with the firmware file
  ASSERT_TRUE(RunLoopUntil(line.loop, [&] { return line.w->Ops.foundCount >= 2 && !line.w->Ops.AnyBusy(); },
                           seconds(20)));
  EXPECT_EQ(line.count("> 06:00:00 C1 : Firmware 1 Upgrade Completed!"), 1u);
  EXPECT_EQ(line.count("> 06:00:00 C2 : Firmware 2 Upgrade Completed!"), 1u);
  EXPECT_GE(line.count("> 06:00:00 C2 : 找到设备：Tarvel200IMOT V1.10!"), 1u) << "found again after its upgrade";
  line.sim->stop();
  int blocks = 0;
  for (const auto& j : line.requests(1)) blocks += j["name"] == "FirmwareBlock";
  EXPECT_EQ(blocks, static_cast<int>(line.w->Ops.firmware.blockCount()));
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(EndToEnd, UnattendedDownloadOfAProject) {
  for (bool off : {true, false}) {
    SCOPED_TRACE(off);
    TempDir files;
    const auto project = files / "line.pmw";
    {
      Line maker(1);
      maker.select("SC95F750x");
      maker.loadBytes("fw.bin", std::vector<uint8_t>(20000, 0x42));
      maker.dialogs.answerFile(project.string());
      maker.w->SavetoProjectFile1Click();
    }
    Line line(2);
    testing::WriteText(line.dir / "ResDW.Txt", "stale\r\n");
    std::vector<std::string> commandLine = {project.string()};
    if (off) commandLine.push_back("off");
    line.w->FormShow(commandLine);
    EXPECT_FALSE(std::filesystem::exists(line.dir / "ResDW.Txt")) << "no stale result";
    RunLoopUntil(line.loop, [&] { return line.w->Closed || line.w->Ops.downloadCount >= 2; }, seconds(20));
    RunLoopUntil(line.loop, [&] { return line.w->Closed; }, milliseconds(off ? 2000 : 300));
    EXPECT_EQ(line.w->Ops.downloadCount, 2);
    EXPECT_EQ(line.w->Closed, off);
    EXPECT_EQ(std::filesystem::exists(line.dir / "ResDW.Txt"), off);
    if (off) {
      EXPECT_EQ(testing::ReadText(line.dir / "ResDW.Txt"), "Download Success\r\n");
    }
    for (const std::string& text : line.dialogs.boxTexts())
      EXPECT_EQ(text.find("Project File"), std::string::npos) << "no box for the project in unattended mode";
    line.sim->stop();
    EXPECT_EQ(line.names(1).back() == "RestartUnit", !off) << "with OFF the units stay in host mode";
  }
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(EndToEnd, SerialNumbersOnThreeUnits) {
  for (bool big : {true, false}) {
    SCOPED_TRACE(big);
    Line line(3);
    ASSERT_TRUE(line.find());
    line.select("SC92F848x");  // 16 KiB
    line.loadBytes("fw.bin", std::vector<uint8_t>(16384, 0xFF));
    line.w->SetControl("CheckBoxSN", "1");
    line.w->SetControl("ChkBoxPCSN", "1");
    line.w->SetControl("SNOrderChk", big ? "1" : "0");
    line.w->SetControl("SNEdit1", "100");
    line.w->SetControl("GainEdit", "0x01");
    line.w->SetControl("AddrEdit", "0x00003FF0");
    // The first run captures the settings; the number goes into the image from the second run on.
    ASSERT_TRUE(line.run(UnitCommand::AutoProgram));
    EXPECT_EQ(line.w->SNEdit1.text, "0x00000067") << "three units passed: 100 + 3 x 1";
    ASSERT_TRUE(line.run(UnitCommand::AutoProgram));
    EXPECT_EQ(line.w->SNEdit1.text, "0x0000006A");
    line.sim->stop();
    for (int u = 1; u <= 3; ++u) {
      const auto chip = line.chipFlash(u);
      const uint32_t expected = 103 + static_cast<uint32_t>(u - 1);  // every unit its own number
      const uint8_t* p = chip.data() + 0x3FF0;
      const uint32_t got = big ? (p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]) : (p[3] << 24 | p[2] << 16 | p[1] << 8 | p[0]);
      EXPECT_EQ(got, expected) << "unit " << u;
    }
    EXPECT_EQ(line.count("> 06:00:00 C2 : Flash数据校验成功！"), 2u) << "the unit's own number verifies";
  }
}

TEST(EndToEnd, UnattendedModeTellsTheTruthWhenAUnitFails) {
  TempDir dir;
  UnitSimProcess sim(dir.path(), 2, {"--status", "2:DownloadFlashBlock:0x45"});
  {
    Line maker(1);
    maker.select("SC95F750x");
    maker.loadBytes("fw.bin", std::vector<uint8_t>(20000, 0x42));
    maker.dialogs.answerFile((dir / "line.pmw").string());
    maker.w->SavetoProjectFile1Click();
  }
  std::ostringstream out, err;
  const int status = RunCli({"--dir", dir.path().string(), "unattended", (dir / "line.pmw").string(), "OFF"}, out, err);
  EXPECT_EQ(status, kExitUnitFailure) << err.str();
  EXPECT_FALSE(std::filesystem::exists(dir / "ResDW.Txt"));
  EXPECT_NE(out.str().find("C2 : 命令执行错误!"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// Set in the family's dialog, written to the chip, read back and reported as the family reports.
TEST(EndToEnd, OptionBytesOfThreeFamilies) {
  struct Case {
    const char* chip;
    std::vector<std::pair<std::string, std::string>> controls;
    const char* reportLine;
  };
  const Case cases[] = {
      {"SC92F72xx", {{"ComBoxLVRS", "1"}}, "> 06:00:00 Read Chip 1 Option Byte : 0x5A 0x96 0x09 0x32 "},
      {"HC8AT3541-T32", {{"ComBoxRSTS", "1"}, {"ComBoxBORV", "2"}},
       "  0x0030: 01 01 00 00   00 00 00 00   00 02 00 00   00 00 00 FF   "},
      {"MC96F8316S", {{"ComBoxCRP", "1"}}, "  0x10: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    Line line(1);
    ASSERT_TRUE(line.find());
    line.select(c.chip);
    line.dialogs.answerModal({c.controls, Button::OK});
    line.w->BtnOptionCfgClick();
    ASSERT_TRUE(line.run(UnitCommand::WriteOption));
    ASSERT_TRUE(line.w->RunReadCommand(ChipRead::OptionSetting));
    RunLoopUntil(line.loop, [&] { return !line.w->Ops.AnyBusy(); }, seconds(10));
    EXPECT_EQ(line.count(c.reportLine), 1u);
  }
}

}  // namespace
}  // namespace tarvel
