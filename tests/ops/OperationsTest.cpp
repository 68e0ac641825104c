// The operations on units, driven through the main window with units played on fake ports.
#include <gtest/gtest.h>

#include "base/Format.h"
#include "base/ManualEventLoop.h"
#include "image/Checksums.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "link/DeviceDiscovery.h"
#include "link/StatusCodes.h"
#include "ops/Commands.h"
#include "support/FakePorts.h"
#include "support/FakeUnit.h"
#include "support/TestFiles.h"
#include "ui/GenMainZPN.h"

namespace tarvel {
namespace {

using testing::FakeUnit;
using testing::SentPacket;
using testing::TempDir;
using testing::WriteText;
using std::chrono::milliseconds;

TEST(StatusCodes, Messages) {
  struct Case {
    uint8_t code;
    const char* text;
  };
  const Case cases[] = {
      {0x00, "操作成功！"},
      {0x06, "操作成功！"},
      {0x04, "芯片错误：Arm Fault响应!"},
      {0x07, "芯片错误：Arm Fault响应!"},
      {0x84, "芯片错误：Arm Fault响应!"},  // low seven bits
      {0x86, "操作失败！错误代码: 0134/0x86"},
      {0x23, "操作失败！错误代码: 035/0x23"},
      {0x5A, "操作失败！错误代码: 090/0x5A"},
      {0x31, "数据编程校验错误!"},
      {0xE0, "USB设备通讯错误！"},  // the whole byte is looked up first
      {0xFA, "Socket Detect Error or Not Connected!"},
      {0xB2, "ID 检查错误或不匹配!"},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusMessage(c.code), c.text) << int(c.code);
}

std::vector<uint8_t> IdReply(const std::string& text, int declared = -1) {
  std::vector<uint8_t> p(28, 0);
  p[0] = 0xA3, p[1] = 0xA5, p[2] = 0x35;
  const size_t n = declared < 0 ? text.size() : static_cast<size_t>(declared);
  p[6] = static_cast<uint8_t>(n), p[7] = static_cast<uint8_t>(n >> 8);
  p.insert(p.end(), text.begin(), text.end());
  p.push_back(0);
  return p;
}

TEST(DeviceDiscovery, IdentificationCheck) {
  struct Case {
    std::vector<uint8_t> reply;
    const char* model;
    const char* firmware;
    Identification result;
  };
  std::vector<uint8_t> badSignature = IdReply("Tarvel200IMOT V1.10");
  badSignature[2] = 0x36;
  const Case cases[] = {
      {IdReply("Tarvel200IMOT V1.10"), kHostModelName, "V1.10", Identification::Current},
      {IdReply("Tarvel200IMOT V1.05,build 7"), kHostModelName, "V1.10", Identification::Older},
      {IdReply("Tarvel200IMOT V1.05,build 7"), kHostModelName, "V1.05", Identification::Current},
      {IdReply("Tarvel200IMOT V1.05"), kHostModelName, "", Identification::Current},
      {IdReply("Tarvel200IMOT"), kHostModelName, "V1.10", Identification::Current},  // no version token
      {IdReply("Tarvel200IMOX V1.10"), kHostModelName, "", Identification::NoMatch},
      {IdReply("Tarvel200XXX V0.01"), kGenericModelName, "V1.10", Identification::Current},
      {IdReply("Tarvel200IMOT V1.10", 0), kHostModelName, "", Identification::NoMatch},
      {IdReply("Tarvel200IMOT V1.10", 500), kHostModelName, "", Identification::Current},  // L past the reply
      {badSignature, kHostModelName, "", Identification::NoMatch},
      {IdReply("Tarvel200IM\x01OT V1.10"), kHostModelName, "", Identification::NoMatch},
  };
  for (const Case& c : cases) EXPECT_EQ(IdentifyUnit(c.reply, c.model, c.firmware).result, c.result);
  EXPECT_EQ(IdentifyUnit(IdReply("Tarvel200IMOT V1.05,x"), kHostModelName, "").version, "V1.05");
}

// The window with `units` fake units listed in ConfigKqn.ini, started.
struct Bench {
  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  TempDir dir;
  std::unique_ptr<TGenMFrmZPN> w;
  std::vector<std::unique_ptr<FakeUnit>> units;

  explicit Bench(int count) {
    std::string ini = "units\n[Connection]\n";
    for (int i = 0; i < count; ++i) ini += "DEV" + std::to_string(i + 1) + "=/dev/fake" + std::to_string(i) + "\n";
    WriteText(dir / "ConfigKqn.ini", ini);
    w = std::make_unique<TGenMFrmZPN>(loop, dialogs, dir.path(), [] { return std::string("08:00:00"); },
                                      testing::FakePorts());
    w->FormShow();
    for (int i = 0; i < count; ++i)
      units.push_back(std::make_unique<FakeUnit>(
          dynamic_cast<FakeSerialPort&>(*w->Ops.channel(i).port), loop));
  }
  FakeUnit& unit(int i) { return *units[static_cast<size_t>(i)]; }
  // Runs the start-up search and lets every unit identify itself.
  void connectAll(const std::string& id = "Tarvel200IMOT V1.10") {
    loop.advance(milliseconds(100 + 50 + 100 * static_cast<int>(units.size())));
    for (auto& u : units)
      for (const SentPacket& p : u->take())
        if (p.discovery) u->identify(id);
  }
  void select(const std::string& name) {
    w->ConfirmChip(FindChipByName(name)->chip);
  }
  void load(const std::string& name, const std::string& text) {
    WriteText(dir / name, text);
    dialogs.answerFile((dir / name).string());
    w->SpdBtnOpenClick();
  }
  bool has(const std::string& line) const {
    const auto& l = w->Log.lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
  size_t count(const std::string& line) const {
    const auto& l = w->Log.lines();
    return static_cast<size_t>(std::count(l.begin(), l.end(), line));
  }
  GaugeControl& gauge(int i) { return w->Gauges[static_cast<size_t>(i)]; }
};

TEST(Operations, DiscoveryConnectsUnitsThatIdentify) {
  Bench b(3);
  EXPECT_EQ(b.w->Ops.unitCount, 3);
  b.loop.advance(milliseconds(100));  // Timer2's first tick runs the search
  EXPECT_TRUE(b.has("> 08:00:00 Checking Device 2 In /dev/fake1............"));
  EXPECT_EQ(b.w->InfoPanel.caption, "Searching Devices............");
  b.loop.advance(milliseconds(150));
  EXPECT_TRUE(b.unit(0).take().at(0).discovery);
  EXPECT_TRUE(b.unit(1).take().empty()) << "the requests go out 100 ms apart";
  b.loop.advance(milliseconds(200));
  EXPECT_TRUE(b.unit(1).take().at(0).discovery);
  EXPECT_TRUE(b.unit(2).take().at(0).discovery);
  b.unit(0).identify("Tarvel200IMOT V1.10");
  b.unit(1).identify("SomethingElse V1.0");
  b.unit(2).progress(0x20, 0, 0, 0);  // a unit programming on its own reports even before it is found
  EXPECT_TRUE(b.w->Ops.channel(0).connected);
  EXPECT_FALSE(b.w->Ops.channel(1).connected);
  EXPECT_EQ(b.w->Ops.foundCount, 1);
  EXPECT_TRUE(b.has("> 08:00:00 C1 : 找到设备：Tarvel200IMOT V1.10!"));
  EXPECT_TRUE(b.has("> 08:00:00 C2 : 未找到设备!"));
  EXPECT_TRUE(b.has("> 08:00:00 C3 : Chip Blank Checking...."));
  EXPECT_EQ(b.w->InfoPanel.caption, "未找到设备！");
  EXPECT_TRUE(b.w->Loop.timerEnabled(b.w->Timer2)) << "not all found: the 100 ms timer goes on";
}

TEST(Operations, DownloadOfA64KiBChipAndTheEepBlocks) {
  Bench b(2);
  b.connectAll();
  b.select("Z51F6412ARX");  // 64 KiB, no EEP
  b.load("fw.hex", ":0400000011223344A6\r\n");
  b.dialogs.clearRecord();
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::Download));
  std::vector<std::vector<SentPacket>> got(2);
  for (int i = 0; i < 2; ++i)
    b.unit(i).serve([&](FakeUnit& u, const SentPacket& p) {
      got[static_cast<size_t>(i)].push_back(p);
      if (p.command != LinkCommand::RestartUnit) u.status(p.command, 0);
    });
  for (int i = 0; i < 2; ++i) {
    const auto& sent = got[static_cast<size_t>(i)];
    ASSERT_EQ(sent.size(), 1u + 16 + 1) << "configuration, 16 flash blocks, restart";
    EXPECT_EQ(sent[0].command, LinkCommand::DownloadConfig);
    EXPECT_EQ(sent[0].payload.size(), 1024u);
    EXPECT_EQ(sent[1].command, LinkCommand::DownloadFlashBlock);
    EXPECT_EQ(sent[1].payload[0], 0x11);
    EXPECT_EQ(sent[16].argument, 60);
    EXPECT_EQ(sent[17].command, LinkCommand::RestartUnit);
    for (const auto& p : sent) EXPECT_TRUE(p.checkOk);
  }
  EXPECT_EQ(b.count("> 08:00:00 C1 : 数据下载成功！"), 1u);
  EXPECT_EQ(b.w->Ops.downloadCount, 2);
  EXPECT_EQ(b.gauge(0).colour, GaugeColour::Blue);
  EXPECT_EQ(b.gauge(0).progress, b.gauge(0).maxValue);

  // The configuration block, unscrambled: unit 2's first serial number is the start plus one step.
  auto unscramble = [](const SentPacket& p) {
    std::vector<uint8_t> v = p.payload;
    const uint8_t m0 = static_cast<uint8_t>((static_cast<uint8_t>(p.argument) ^ 0x5D) | 0x80);
    const uint8_t m1 = static_cast<uint8_t>((static_cast<uint8_t>(p.argument >> 8) ^ 0x2B) | 0x80);
    for (size_t k = 0; k < v.size(); ++k) v[k] ^= k % 2 ? m1 : m0;
    return v;
  };
  const auto c1 = unscramble(got[0][0]), c2 = unscramble(got[1][0]);
  EXPECT_EQ(std::string(c1.begin(), c1.begin() + 4), "ZWLP");
  EXPECT_TRUE(std::equal(c1.begin(), c1.begin() + 512, c1.begin() + 512));
  EXPECT_EQ(c1[96], 0);
  EXPECT_EQ(c2[96], 1);
  EXPECT_EQ(c2[90], 2) << "the step is units x gain";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&c1[240])), "Z51F6412ARX");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&c1[256])), "fw.hex");
  EXPECT_EQ(c1[4 + 16], 64) << "FlashSizeKB in the header";

  // With EEP: 6144 bytes are two EEP blocks.
  Bench e(1);
  e.connectAll();
  e.select("SC95F750x");
  e.load("fw.hex", ":0400000011223344A6\r\n");
  e.w->SetControl("ChkBoxEEP", "1");
  ASSERT_TRUE(e.w->RunUnitCommand(UnitCommand::Download));
  std::vector<SentPacket> sent;
  e.unit(0).serve([&](FakeUnit& u, const SentPacket& p) {
    sent.push_back(p);
    if (p.command != LinkCommand::RestartUnit) u.status(p.command, 6);
  });
  ASSERT_EQ(sent.size(), 1u + 8 + 2 + 1);
  EXPECT_EQ(sent[9].command, LinkCommand::DownloadEepBlock);
  EXPECT_EQ(sent[10].argument, 4);
  EXPECT_TRUE(e.has("> 08:00:00 C1 : 开始下载EEP Data数据......"));
}

// A flash size at the top of the 16-bit KiB count (a project file's configuration block may carry one):
// the last block is sent once and the transfer ends, rather than starting over at block 0 for ever.
TEST(Operations, TransfersEndAtTheTopOfTheKiBCount) {
  struct Case {
    const char* what;
    std::function<bool(TGenMFrmZPN&)> start;
    uint8_t blockCommand;
    const char* done;
  };
  const Case cases[] = {
      {"download", [](TGenMFrmZPN& w) { return w.RunUnitCommand(UnitCommand::Download); },
       LinkCommand::DownloadFlashBlock, "> 08:00:00 C1 : 数据下载成功！"},
      {"program", [](TGenMFrmZPN& w) { return w.RunUnitCommand(UnitCommand::Program); },
       LinkCommand::ProgramFlashBlock, "> 08:00:00 C1 : 编程操作成功！"},
      {"read", [](TGenMFrmZPN& w) { return w.RunReadCommand(ChipRead::MainMemory); }, LinkCommand::ReadFlashBlock,
       "> 08:00:00 C1 : Main Flash读取成功！"},
  };
  for (const Case& c : cases) {
    Bench b(1);
    b.connectAll();
    b.select("Z51F6412ARX");
    b.load("fw.hex", ":0400000011223344A6\r\n");
    b.w->Chip.FlashSizeKB = 0xFFFF;
    ASSERT_TRUE(c.start(*b.w)) << c.what;
    std::vector<uint16_t> blocks;
    b.unit(0).serve(
        [&](FakeUnit& u, const SentPacket& p) {
          if (p.command == c.blockCommand) {
            blocks.push_back(p.argument);
            // Skip the blocks between: the first block's answer finds the transfer at its last KiBs.
            if (blocks.size() == 1) b.w->Ops.channel(0).position = 0xFFF8;
          }
          if (p.command == LinkCommand::ReadFlashBlock)
            u.data(p.command, std::vector<uint8_t>(4096, 0x5A));
          else if (p.command != LinkCommand::RestartUnit)
            u.status(p.command, 6);
        },
        50);
    EXPECT_EQ(blocks, (std::vector<uint16_t>{0, 0xFFFC})) << c.what;
    EXPECT_FALSE(b.w->Ops.channel(0).busy) << c.what;
    EXPECT_TRUE(b.has(c.done)) << c.what;
  }
}

TEST(Operations, PreconditionsAndBusyUnits) {
  Bench b(3);
  b.connectAll();
  EXPECT_FALSE(b.w->RunUnitCommand(UnitCommand::BlankCheck));
  EXPECT_EQ(b.dialogs.boxTexts().back(), "请选择并确认芯片型号！");
  b.select("SC92F848x");
  EXPECT_FALSE(b.w->RunUnitCommand(UnitCommand::Verify));
  EXPECT_EQ(b.dialogs.boxTexts().back(), "请加载目标文件！");
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::BlankCheck)) << "blank check needs no file";
  for (int i = 0; i < 3; ++i) b.unit(i).take();
  b.unit(0).status(LinkCommand::ChipCommand, 0);
  b.unit(2).status(LinkCommand::ChipCommand, 0);
  b.load("fw.hex", ":0400000011223344A6\r\n");
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::Verify));
  EXPECT_EQ(b.unit(0).take().at(0).command, LinkCommand::ReadFlashBlock);
  EXPECT_TRUE(b.unit(1).take().empty()) << "unit 2 is still busy with its blank check";
  EXPECT_EQ(b.w->Ops.channel(1).state, OperationState::BlankCheck);
}

TEST(Operations, WatchdogsFailSilentUnits) {
  Bench b(2);
  b.connectAll();
  b.select("SC92F848x");
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::BlankCheck));
  b.unit(1).take();
  b.unit(1).status(LinkCommand::ChipCommand, 0);
  b.loop.advance(milliseconds(4990));
  EXPECT_TRUE(b.w->Ops.channel(0).busy);
  b.loop.advance(milliseconds(10));
  EXPECT_FALSE(b.w->Ops.channel(0).busy);
  EXPECT_TRUE(b.has("> 08:00:00 C1 : 命令执行操作超时！"));
  EXPECT_EQ(b.gauge(0).colour, GaugeColour::Red);
  EXPECT_EQ(b.gauge(1).colour, GaugeColour::Blue);
  EXPECT_TRUE(b.has("> 08:00:00 C2 : 芯片为空！"));

  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::Erase));
  b.loop.advance(milliseconds(19990));
  EXPECT_TRUE(b.w->Ops.channel(0).busy) << "an erase gets 20 s";
  b.loop.advance(milliseconds(10));
  EXPECT_FALSE(b.w->Ops.channel(0).busy);
  // A reply after the watchdog ended the operation changes nothing.
  b.unit(0).status(LinkCommand::ChipCommand, 0);
  EXPECT_EQ(b.count("> 08:00:00 C1 : 擦除芯片操作成功！"), 0u);
}

// A unit with a chip memory: programs, reads back, reports blank or not.
struct ChipUnit {
  std::vector<uint8_t> flash = std::vector<uint8_t>(64 * 1024, 0xFF);
  uint8_t blankStatus = 0;
  int corruptAt = -1;
  void operator()(FakeUnit& u, const SentPacket& p) {
    switch (p.command) {
      case LinkCommand::ChipCommand:
        if (p.argument == ChipSubCommand::BlankCheck) u.status(p.command, blankStatus);
        else if (p.argument == ChipSubCommand::Erase) { std::fill(flash.begin(), flash.end(), 0xFF); u.status(p.command, 0); }
        else u.status(p.command, 0);
        break;
      case LinkCommand::ProgramFlashBlock:
        std::copy(p.payload.begin() + 80, p.payload.end(), flash.begin() + p.argument * 1024);
        u.status(p.command, 0);
        break;
      case LinkCommand::ReadFlashBlock: {
        std::vector<uint8_t> block(flash.begin() + p.argument * 1024, flash.begin() + p.argument * 1024 + 4096);
        if (corruptAt >= p.argument * 1024 && corruptAt < p.argument * 1024 + 4096) block[static_cast<size_t>(corruptAt - p.argument * 1024)] ^= 0x5A;
        u.data(p.command, block);
        break;
      }
      default:
        u.status(p.command, 0);
    }
  }
};

TEST(Operations, AutomaticSequence) {
  {  // blank chip: blank check, program, verify; "编程操作成功！" twice
    Bench b(1);
    b.connectAll();
    b.select("SC92F848x");  // 16 KiB, no option bytes checked
    b.load("fw.hex", ":0400000011223344A6\r\n");
    ChipUnit chip;
    ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::AutoProgram));
    b.unit(0).serve(std::ref(chip));
    EXPECT_EQ(chip.flash[3], 0x44);
    EXPECT_TRUE(b.has("> 08:00:00 C1 : 开始自动编程，执行芯片查空......"));
    EXPECT_EQ(b.count("> 08:00:00 C1 : 编程操作成功！"), 2u);
    EXPECT_TRUE(b.has("> 08:00:00 C1 : Flash数据校验成功！"));
    EXPECT_EQ(b.gauge(0).colour, GaugeColour::Blue);
    EXPECT_FALSE(b.w->Ops.channel(0).busy);
  }
  {  // not blank: erase first; a verify difference is reported once, with its address
    Bench b(1);
    b.connectAll();
    b.select("SC92F848x");
    b.load("fw.hex", ":0400000011223344A6\r\n");
    b.dialogs.clearRecord();
    ChipUnit chip;
    chip.blankStatus = 0x15;
    chip.corruptAt = 0x1003;
    ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::AutoProgram));
    b.unit(0).serve(std::ref(chip));
    EXPECT_TRUE(b.has("> 08:00:00 C1 : 芯片不为空! 擦除芯片..."));
    EXPECT_TRUE(b.has("> 08:00:00 C1 : 擦除芯片操作成功！"));
    ASSERT_EQ(b.dialogs.boxes().size(), 1u);
    EXPECT_EQ(b.dialogs.boxes()[0].text, "Chip 1: Address=0x00001003,Buffer=0x00,Chip=0x5A");
    EXPECT_EQ(b.dialogs.boxes()[0].buttons, (std::vector<Button>{Button::Yes, Button::Abort}));
    EXPECT_TRUE(b.has("> 08:00:00 C1 : 数据编程校验错误!"));
    EXPECT_EQ(b.gauge(0).colour, GaugeColour::Red);
  }
  {  // protected chip in a manual blank check
    Bench b(1);
    b.connectAll();
    b.select("SC92F848x");
    ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::BlankCheck));
    ChipUnit chip;
    chip.blankStatus = 0x13;
    b.unit(0).serve(std::ref(chip));
    EXPECT_TRUE(b.has("> 08:00:00 C1 : 芯片已保护！"));
    EXPECT_TRUE(b.has("> 08:00:00 C1 : 芯片已被读保护！"));
  }
}

TEST(Operations, AutomaticSequenceWithEepVerifiesFlashThenEep) {
  Bench b(1);
  b.connectAll();
  b.select("SC95F750x");  // 32 KiB, EEP 6144
  b.load("fw.hex", ":0400000011223344A6\r\n");
  b.w->SetControl("ChkBoxEEP", "1");
  std::vector<uint8_t> order;
  ChipUnit chip;
  chip.flash.resize(64 * 1024);
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::AutoProgram));
  b.unit(0).serve([&](FakeUnit& u, const SentPacket& p) {
    if (order.empty() || order.back() != p.command) order.push_back(p.command);
    if (p.command == LinkCommand::ReadEepBlock) {
      std::vector<uint8_t> block(4096, 0x00);
      u.data(p.command, block);
    } else {
      chip(u, p);
    }
  });
  EXPECT_EQ(order, (std::vector<uint8_t>{LinkCommand::ChipCommand, LinkCommand::ProgramFlashBlock, LinkCommand::ProgramEepBlock,
                                         LinkCommand::ReadFlashBlock, LinkCommand::ReadEepBlock}));
  EXPECT_TRUE(b.has("> 08:00:00 C1 : EEP数据编程操作成功！"));
  EXPECT_TRUE(b.has("> 08:00:00 C1 : Flash数据校验成功！"));
  EXPECT_TRUE(b.has("> 08:00:00 C1 : EEP数据校验成功！"));
  EXPECT_EQ(b.count("> 08:00:00 C1 : 编程操作成功！"), 1u);
}

TEST(Operations, ProgressRecordsDriveGaugesAndCounts) {
  Bench b(2);
  b.connectAll();
  FakeUnit& u = b.unit(1);
  u.sendPacket({0xFD, 0x40, 0x00, 0x00, 0x00, 0x20, 0x00, 0xA3});  // value 0, maximum 32
  EXPECT_TRUE(b.has("> 08:00:00 C2 : Do Main Flash Programming...."));
  EXPECT_EQ(b.gauge(1).progress, 2);
  EXPECT_EQ(b.gauge(1).maxValue, 32);
  u.progress(0x40, 0, 4, 32);
  EXPECT_EQ(b.gauge(1).progress, 6);
  EXPECT_EQ(b.count("> 08:00:00 C2 : Do Main Flash Programming...."), 1u);
  u.progress(0xF0, 6, 0, 0);
  u.progress(0xF0, 6, 0, 0);
  u.progress(0xF0, 0x31, 0, 0);
  const auto& l = b.w->Log.lines();
  const std::vector<std::string> tail(l.end() - 6, l.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "> 08:00:00 C2 : Progrmming Completed : Successed !", "> 08:00:00 C2 : OK=1, NG=0.",
                      "> 08:00:00 C2 : Progrmming Completed : Successed !", "> 08:00:00 C2 : OK=2, NG=0.",
                      "> 08:00:00 C2 : Progrmming Completed : Failed : Error=0x31!", "> 08:00:00 C2 : OK=2, NG=1."}));
  EXPECT_EQ(b.gauge(1).colour, GaugeColour::Red);
  const size_t before = b.w->Log.size();
  u.sendPacket({0xFD, 0x20, 0, 0, 0, 0, 0, 0x01});  // bad sum: ignored
  EXPECT_EQ(b.w->Log.size(), before);
}

TEST(Operations, PacketErrorsAndBadCheckWords) {
  Bench b(1);
  b.connectAll();
  b.select("SC92F848x");
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::BlankCheck));
  b.unit(0).take();
  const uint8_t bad[] = {0xC0, 1, 2, 3, 0xC0};  // decodes to fewer than 8 bytes
  b.unit(0).feed(bad);
  EXPECT_TRUE(b.has("> 08:00:00 C1 : 数据包错误！"));
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::BlankCheck));
  b.unit(0).take();
  b.unit(0).status(LinkCommand::ChipCommand, 0, /*goodCheck=*/false);
  EXPECT_TRUE(b.has("> 08:00:00 C1 : 操作失败！错误代码: 035/0x23"));
}

TEST(Operations, HangUpAndOfflineStart) {
  Bench b(2);
  b.connectAll();
  b.select("SC92F848x");
  ASSERT_TRUE(b.w->RunUnitCommand(UnitCommand::BlankCheck));
  b.unit(0).port().requestHangup();
  b.loop.runPending();
  EXPECT_FALSE(b.w->Ops.channel(0).connected);
  EXPECT_FALSE(b.w->Ops.channel(0).busy);
  EXPECT_FALSE(b.unit(0).port().isOpen());
  // Unplugged in the middle of the blank check: that unit failed it.
  EXPECT_TRUE(b.has("> 08:00:00 C1 : 设备连接已断开，操作失败！"));
  EXPECT_EQ(b.gauge(0).colour, GaugeColour::Red);
  // An idle unit that goes away goes quietly.
  b.unit(1).status(LinkCommand::ChipCommand, 0);
  ASSERT_FALSE(b.w->Ops.channel(1).busy);
  const size_t lines = b.w->Log.lines().size();
  b.unit(1).port().requestHangup();
  b.loop.runPending();
  EXPECT_FALSE(b.w->Ops.channel(1).connected);
  EXPECT_EQ(b.w->Log.lines().size(), lines);

  for (int i = 0; i < 2; ++i) b.unit(i).take();
  b.w->StartOfflineProgrm1Click();
  EXPECT_TRUE(b.has("> 08:00:00 Start Off-Line Programming......"));
  b.loop.advance(milliseconds(40));
  for (int i = 0; i < 2; ++i) {
    const auto sent = b.unit(i).take();
    ASSERT_EQ(sent.size(), 1u) << i;
    EXPECT_EQ(sent[0].command, LinkCommand::RestartUnit);
    EXPECT_FALSE(b.w->Ops.channel(i).connected);
  }
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(ReadBack, MainMemoryEepAndPreconditions) {
  Bench b(1);
  b.select("SC92F848x");  // 16 KiB
  EXPECT_FALSE(b.w->RunReadCommand(ChipRead::MainMemory));
  EXPECT_EQ(b.dialogs.boxTexts().back(), "请连接好设备！");
  b.connectAll();
  ASSERT_TRUE(b.w->RunReadCommand(ChipRead::MainMemory));
  int requests = 0;
  b.unit(0).serve([&](FakeUnit& u, const SentPacket& p) {
    ++requests;
    std::vector<uint8_t> block(4096, static_cast<uint8_t>(p.argument));
    u.data(p.command, block);
  });
  EXPECT_EQ(requests, 4);
  EXPECT_EQ(b.w->Image->FlashImage[0x3000], 12);
  EXPECT_TRUE(b.has("> 08:00:00 C1 : Main Flash读取成功！"));
  EXPECT_TRUE(b.has(Format("> 08:00:00 Read Chip Data CRC/ACC CheckSum = 0x%0.4x/0x%0.4x",
                           ImageCrc16(b.w->Image->FlashImage, 0, 0x3FFF), (4 + 8 + 12) * 4096 & 0xFFFF)));
  EXPECT_EQ(b.w->HexViewer.rowCount(), 1024);

  Bench e(1);
  e.connectAll();
  e.select("SC95F750x");  // EEP 6144
  e.w->Image->EepImage.fill(0x11);
  ASSERT_TRUE(e.w->RunReadCommand(ChipRead::EepMemory));
  e.unit(0).serve([&](FakeUnit& u, const SentPacket& p) { u.data(p.command, std::vector<uint8_t>(4096, 0x77)); });
  EXPECT_EQ(e.w->Image->EepImage[6143], 0x77);
  EXPECT_EQ(e.w->Image->EepImage[6144], 0x11) << "only EepSize bytes are taken";
  EXPECT_TRUE(e.has("> 08:00:00 C1 : 读取EEP数据成功！"));
}

TEST(ReadBack, InformationChecksumAndAddressRange) {
  Bench b(1);
  b.connectAll();
  b.select("MC96F8316S");  // Abov, option page 32 bytes
  ASSERT_TRUE(b.w->RunReadCommand(ChipRead::ChipInformation));
  std::vector<uint8_t> info(4 + 64, 0);
  info[0] = 0x12, info[1] = 0x34, info[2] = 0x05, info[4] = 0xAA;
  b.unit(0).serve([&](FakeUnit& u, const SentPacket& p) { u.data(p.command, info); });
  const auto& l = b.w->Log.lines();
  const std::vector<std::string> tail(l.end() - 9, l.end());
  EXPECT_EQ(tail[0], "");
  EXPECT_EQ(tail[1], ">     Chip Device ID is 0x1234,Revsion is 0x05.");
  EXPECT_EQ(tail[3], ">     Chip Option Data as Below: ");
  EXPECT_EQ(tail[4], "  0x00 : AA 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(tail[6], ">     Chip Trim Data as Below: ");

  ASSERT_TRUE(b.w->RunReadCommand(ChipRead::CheckSum));
  b.unit(0).serve([&](FakeUnit& u, const SentPacket& p) { u.status(p.command, 6); });
  EXPECT_EQ(b.w->Log.lines().back(), "> 08:00:00 C1 : 操作成功！");
  ASSERT_TRUE(b.w->RunReadCommand(ChipRead::CheckSum));
  b.unit(0).serve([&](FakeUnit& u, const SentPacket& p) { u.data(p.command, std::vector<uint8_t>{0x34, 0x12, 0x78, 0x56}); });
  EXPECT_EQ(b.w->Log.lines().back(), "> 08:00:00 C1 : 读取芯片校验和CRC/ACC : 0x1234/0x5678");

  b.dialogs.answerModal({{{"EditAddr", "0x1008"}, {"SpinEditRD", "64"}}, Button::OK});
  ASSERT_TRUE(b.w->RunReadCommand(ChipRead::SpecificAddress));
  std::vector<SentPacket> sent;
  b.unit(0).serve([&](FakeUnit& u, const SentPacket& p) {
    sent.push_back(p);
    std::vector<uint8_t> bytes(64);
    for (size_t i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i);
    u.data(p.command, bytes);
  });
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].argument, 121);
  EXPECT_EQ(sent[0].payload.size(), 64u);
  EXPECT_EQ(sent[0].payload[49], 0x10) << "start address 0x1000 at header bytes 48..51";
  EXPECT_EQ(sent[0].payload[52], 64);
  const auto& m = b.w->Log.lines();
  EXPECT_EQ(m[m.size() - 5], "> Read Address Memory Data below: ");
  EXPECT_EQ(m[m.size() - 4].substr(0, 19), "0x00001000 : 00 01 ");
  EXPECT_EQ(m.back().substr(0, 13), "0x00001030 : ");
}

TEST(ReadBack, OptionBytesGetTheirReport) {
  Bench b(1);
  b.connectAll();
  b.select("IT8856FN");
  ASSERT_TRUE(b.w->RunReadCommand(ChipRead::OptionSetting));
  b.unit(0).serve([&](FakeUnit& u, const SentPacket& p) { u.data(p.command, std::vector<uint8_t>{0x34, 0x12, 0}); });
  EXPECT_EQ(b.w->Log.lines().back(), "> 08:00:00 Read Chip 1 Option Byte : 0x1234.");
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

FirmwareFileResult ThreeBlockFirmware() {
  FirmwareFileResult f;
  f.valid = true;
  f.version = "V1.10";
  f.endValue = 4096 + 1024 * 2;  // three blocks
  f.image.assign(3 * 2048, 0x11);
  return f;
}

TEST(FirmwareUpgrade, AnOutdatedUnitIsUpgradedThenSearchedAgain) {
  Bench b(2);
  b.w->Ops.firmware = ThreeBlockFirmware();
  b.w->Ops.firmwareVersion = "V1.10";
  b.loop.advance(milliseconds(100 + 50 + 200));
  for (int i = 0; i < 2; ++i) b.unit(i).take();
  b.unit(0).identify("Tarvel200IMOT V1.05,x");
  b.unit(1).identify("Tarvel200XXX V0.90");
  EXPECT_TRUE(b.has("> 08:00:00 C1 : 开始升级编程器1固件......"));
  EXPECT_TRUE(b.has("> 08:00:00 C2 : 开始升级编程器2固件......"));
  EXPECT_EQ(b.w->Ops.foundCount, 1) << "the generic unit is not counted";
  EXPECT_TRUE(b.w->Ops.channel(1).connected) << "an upgrade connects the unit itself";
  std::vector<uint16_t> blocks;
  for (int i = 0; i < 2; ++i)
    b.unit(i).serve([&](FakeUnit& u, const SentPacket& p) {
      if (p.command == LinkCommand::FirmwareBlock) {
        if (i == 0) blocks.push_back(p.argument & 0xFF);
        u.status(p.command, 6);
      }
    });
  EXPECT_EQ(blocks, (std::vector<uint16_t>{0, 4, 8}));
  EXPECT_TRUE(b.has("> 08:00:00 C1 : Firmware 1 Upgrade Completed!"));
  EXPECT_EQ(b.gauge(0).progress, b.gauge(0).maxValue);
  EXPECT_FALSE(b.w->Ops.AnyUpgrading());
  // The search runs again half a second after the upgrades.
  b.loop.advance(milliseconds(100 + 500));
  EXPECT_EQ(b.count("> 08:00:00 Checking Device 1 In /dev/fake0............"), 2u);
}

TEST(FirmwareUpgrade, MenuWithoutFileOrUnits) {
  Bench b(1);
  b.w->DoFirmwareUpgrade1Click();
  EXPECT_NE(b.dialogs.boxTexts().back().find("没有找到，请确认！"), std::string::npos);
  testing::WriteText(b.dir / "TarvelIMOT.FWR", "x");
  b.w->DoFirmwareUpgrade1Click();
  EXPECT_EQ(b.dialogs.boxTexts().back(), "No Device is Connected!");
}

}  // namespace
}  // namespace tarvel
