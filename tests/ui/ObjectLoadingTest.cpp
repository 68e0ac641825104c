// Loading and saving through the main window's commands, as a user runs them.
#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/Files.h"
#include "base/Format.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "image/Checksums.h"
#include "base/ManualEventLoop.h"
#include "support/FakePorts.h"
#include "support/TestFiles.h"
#include "ui/GenMainZPN.h"

namespace tarvel {
namespace {

using testing::PatternBytes;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using testing::WriteText;

struct Window {
  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  TempDir dir;
  TGenMFrmZPN w{loop, dialogs, dir.path(), [] { return std::string("10:00:00"); }, testing::FakePorts()};

  explicit Window(const std::string& chip) {
    auto e = FindChipByName(chip);
    EXPECT_TRUE(e) << chip;
    if (e) w.ConfirmChip(e->chip);
  }
  std::filesystem::path file(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto p = dir / name;
    WriteBytes(p, bytes);
    return p;
  }
  std::filesystem::path text(const std::string& name, const std::string& content) {
    const auto p = dir / name;
    WriteText(p, content);
    return p;
  }
  void load(const std::filesystem::path& p, std::optional<std::string> offset = std::nullopt) {
    dialogs.answerFile(p.string());
    if (offset) dialogs.answerModal({{{"EditOfsAddr", *offset}}, Button::OK});
    w.SpdBtnOpenClick();
  }
  std::vector<std::string> linesFrom(size_t first) const {
    const auto& l = w.Log.lines();
    return std::vector<std::string>(l.begin() + static_cast<std::ptrdiff_t>(first), l.end());
  }
};

const std::string kHexAt10 = ":0400100001020304E2\r\n:00000001FF\r\n";

TEST(ObjectLoading, ExtensionPicksTheReader) {
  struct Case {
    const char* name;
    bool loads;
  };
  const Case cases[] = {
      {"a.hex", true},  {"a.HEX", true},   {"a.s19", false}, {"a.S10", false}, {"a.mot", false},
      {"a.srec", false}, {"a.txt", false}, {"noext", false},
  };
  for (const Case& c : cases) {
    Window win("SC92F848x");
    win.load(win.text(c.name, kHexAt10));
    EXPECT_EQ(win.w.Image->FlashImage[0x10] == 1, c.loads) << c.name;
    EXPECT_TRUE(win.w.ObjectFileLoaded) << c.name;
  }
  const std::string srec = "S107001001020304DE\r\n";
  for (const char* name : {"b.s19", "b.S10", "b.S15", "b.mot", "b.MOT", "b.s1x", "b.S20"}) {
    Window win("SC92F848x");
    win.load(win.text(name, srec));
    const bool expected = std::string(name) != "b.s1x" && std::string(name) != "b.S20";
    EXPECT_EQ(win.w.Image->FlashImage[0x10] == 1, expected) << name;
  }
}

TEST(ObjectLoading, SummaryLinesAndStatusBar) {
  Window win("SC95F750x");  // 32 KB flash, EEP 6144 bytes at 0x400
  const size_t before = win.w.Log.size();
  win.load(win.text("fw.hex", kHexAt10));
  EXPECT_EQ(win.w.Image->FlashImage[0x14], 0x00) << "a main load clears with the blank fill of the chip (00)";
  const std::vector<std::string> expected = {
      "> 10:00:00 File \"" + (win.dir / "fw.hex").string() + "\" has been loaded!",
      "",
      "> 10:00:00 目标文件首地址 = 0x0010.",
      "> 10:00:00 目标文件尾地址 = 0x0013.",
      "> 10:00:00 目标文件 ACC32 CheckSum = 0x0000000A",
      "",
      "> 10:00:00 目标Flash首地址 = 0x0000.",
      "> 10:00:00 目标Flash尾地址 = 0x7FFF.",
      "",
      "> 10:00:00 Chip Main Flash ACC32 CheckSum = 0x0000000A",
      "> 10:00:00 Main Flash CRC/ACC CheckSum = 0x" +
          std::string(Format("%0.4x", ImageCrc16(win.w.Image->FlashImage, 0, 0x7FFF))) + "/0x000A",
      "",
      "> 10:00:00 目标EEP Data首地址 = 0x0400.",
      "> 10:00:00 目标EEP Data尾地址 = 0x1BFF.",
      "",
      "",
      "> 10:00:00 EEP Data CRC/ACC CheckSum = 0x0000/0x0000",
  };
  EXPECT_EQ(win.linesFrom(before), expected);
  EXPECT_EQ(win.w.StatusBar1[0].text, "文件校验和：0x0000000A");
  EXPECT_EQ(win.w.StatusBar1[1].text, "芯片校验和：0x0000000A");
  EXPECT_EQ(win.w.StatusBar1[2].text, (win.dir / "fw.hex").string());
  EXPECT_EQ(win.w.ProductEdit.text, "fw.hex");
  EXPECT_FALSE(win.w.ChkBoxEEP.checked);
  EXPECT_TRUE(win.dialogs.boxes().empty());
}

TEST(ObjectLoading, BinaryGoesExactlyWhereTheUserSaid) {
  Window win("SC92F848x");  // 16 KB, FlashStart 0
  const auto data = PatternBytes(100);
  win.load(win.file("a.bin", data), "0x1238");
  EXPECT_EQ(win.w.Chip.BinOffset, 0x1238u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), win.w.Image->FlashImage.begin() + 0x1238));
  EXPECT_EQ(win.w.Image->LowestLoadedAddress, 0x1238u);
  EXPECT_EQ(win.w.Image->HighestLoadedAddress, 0x1238u + 99);
  EXPECT_EQ(win.dialogs.modalForms(), std::vector<std::string>{"TFormOfsAddr"});

  // The size check: a file that fills the chip exactly is fine, one byte more is warned about.
  Window full("SC92F848x");
  full.load(full.file("full.bin", PatternBytes(16384)));
  EXPECT_TRUE(full.dialogs.boxes().empty());
  full.load(full.file("over.bin", PatternBytes(16385)));
  EXPECT_EQ(full.dialogs.boxTexts(), std::vector<std::string>{"Data Out of chip address!"});
  EXPECT_EQ(full.w.Image->FlashImage[16384], PatternBytes(16385)[16384]) << "the data stays loaded";

  // An address below the flash start, or a conversion error in the dialog.
  Window low("LE5010AI");  // flash at 0x18000000
  low.load(low.file("low.bin", PatternBytes(32)), "0x17FFFFF0");
  EXPECT_EQ(low.w.Image->FlashImage[0], PatternBytes(32)[16]) << "bytes below the window are dropped";
  Window bad("SC92F848x");
  EXPECT_THROW(bad.load(bad.file("x.bin", PatternBytes(4)), "0xZZ"), ConversionError);
}

TEST(ObjectLoading, FamilyPostLoadSteps) {
  {  // KF8: the configuration bytes follow the flash contents
    Window win("KF8F4110SD");  // 16 KB
    std::vector<uint8_t> data(16384 + 18, 0x00);
    data[16384 + 14] = 0x34;
    data[16384 + 15] = 0x12;
    data[16384 + 16] = 0x56;
    data[16384 + 17] = 0x78;
    win.load(win.file("kf8.bin", data));
    EXPECT_EQ(win.w.Chip.ConfigByte0, 0x34);
    EXPECT_EQ(win.w.Chip.ConfigByte1, 0x12);
    EXPECT_EQ(win.w.Image->OptionData[3], 0x78);
    const auto& lines = win.w.Log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "> 10:00:00 Load Chip Config Data is : 0x1234."), lines.end());
  }
  {  // LE: only the used part is downloaded
    Window win("LE5010AI");
    win.load(win.file("le.bin", PatternBytes(0x4F00)));
    EXPECT_EQ(win.w.Chip.FlashSizeKB, 20);
    EXPECT_EQ(win.w.Chip.FlashEnd, 0x18004FFFu);
  }
  {  // HC8AT3541: option bytes are always programmed
    Window win("HC8AT3541-T32");
    win.load(win.text("h.hex", kHexAt10));
    EXPECT_TRUE(win.w.CheckBoxOpt.checked);
  }
  {  // KF32: the configuration area of the file shows in the three-block view
    Window win("KF32A156MQW");
    win.load(win.text("o.hex", ":020000040C00EE\r\n:02100000AA55EF\r\n:02140000123497\r\n"));
    EXPECT_EQ(win.w.Image->OptionData[0], 0xAA);
    EXPECT_EQ(win.w.Image->OptionData[32], 0x12) << "block 1 (0x0C001400) is copied to positions 32..";
    EXPECT_EQ(win.w.CfgDataView.layout(), DataView::Layout::Kf32Blocks);
    EXPECT_EQ(win.w.CfgDataView.Row(2)[0], "0x0C001400");
    EXPECT_EQ(win.w.CfgDataView.Row(2)[1], "12");
    EXPECT_TRUE(win.w.TabSheetCfg.visible);
  }
}

// A 32-bit little-endian ELF with one loadable segment of 4 bytes at physical address `paddr`.
std::vector<uint8_t> TinyElf(uint32_t paddr) {
  std::vector<uint8_t> f(52 + 32 + 4, 0);
  auto u16 = [&](size_t at, uint16_t v) { f[at] = static_cast<uint8_t>(v); f[at + 1] = static_cast<uint8_t>(v >> 8); };
  auto u32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i)); };
  f[0] = 0x7F, f[1] = 'E', f[2] = 'L', f[3] = 'F', f[4] = 1, f[5] = 1, f[6] = 1;
  u32(28, 52);  // e_phoff
  u16(42, 32);  // e_phentsize
  u16(44, 1);   // e_phnum
  u32(52, 1);   // PT_LOAD
  u32(56, 84);  // p_offset
  u32(64, paddr);
  u32(68, 4);  // p_filesz
  u32(72, 4);  // p_memsz
  f[84] = 'A', f[85] = 'B', f[86] = 'C', f[87] = 'D';
  return f;
}

// A SoC project file without data areas whose first option entry sets address 0x1234 to 0xA5.
std::vector<uint8_t> TinySocProject() {
  std::vector<uint8_t> f(745 + 117 + 4 + 117 + 4, 0);
  const std::string sig = "[SOC_Project]";
  for (size_t i = 0; i < sig.size(); ++i) f[2 * i] = static_cast<uint8_t>(sig[i]);
  f[32 + 48] = 0xA5;  // option value 1
  f[32 + 68] = 0x34;  // option address 1 = 0x1234
  f[32 + 69] = 0x12;
  return f;
}

TEST(ObjectLoading, ElfSocProjectAndSectionedFirmware) {
  {
    Window win("SC92F848x");
    win.load(win.text("first.hex", kHexAt10));
    win.load(win.file("app.elf", TinyElf(0x200)));
    EXPECT_EQ(win.w.Image->FlashImage[0x200], 'A');
    EXPECT_EQ(win.w.Image->FlashImage[0x10], 0x00) << "the clearing load emptied the image";
    EXPECT_EQ(win.w.Image->LowestLoadedAddress, 0x200u) << "no statistics of the earlier file";
    EXPECT_EQ(win.w.Image->FileByteSum, 0u);
  }
  {
    Window win("SC92F848x");
    win.load(win.file("p.socprj", TinySocProject()));
    EXPECT_EQ(win.w.Image->OptionData[0x34], 0xA5);
    EXPECT_TRUE(win.w.CheckBoxOpt.checked) << "option bytes from the project are programmed";
  }
  {
    Window win("IMD111T-6F040");
    // Any extension: a vendor 8 main load always reads a sectioned firmware file.
    win.load(win.text("fw.hex",
                      "%:Parameters Data Section Begin\r\nA0 1 2 3 3 AA BB CC\r\nA0 4 5 6 3 DD EE FF\r\n"
                      "%:Parameters Data Section End\r\n"));
    const ChipSettings& c = win.w.Chip;
    EXPECT_EQ(c.FlashEnd, 0x3FFu);
    EXPECT_EQ(c.FlashSizeKB, 1);
    EXPECT_EQ(c.FlashUnits, 4);
    EXPECT_EQ(c.EraseKey, 3);
    EXPECT_EQ(c.ProgTiming2, 3);
    EXPECT_EQ(c.ProgTiming1, 0);
    EXPECT_EQ(win.w.Image->FlashImage[0], 0xF5);
    EXPECT_EQ(win.w.Image->FlashImage[16], 0xA0);
    EXPECT_EQ(win.w.Image->FlashImage[32 + 5], 0xDD);
    const auto& lines = win.w.Log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "> 10:00:00 目标Flash尾地址 = 0x03FF."), lines.end());
    EXPECT_TRUE(win.w.ObjectFileLoaded);
    // Loading more into the image goes by extension again.
    win.dialogs.answerFile(win.text("more.hex", ":01020000EE0F\r\n").string());
    win.w.SpdBtnLoadMoreClick();
    EXPECT_EQ(win.w.Image->FlashImage[0x200], 0xEE);
  }
}

TEST(ObjectLoading, NothingWithoutAChipAndFileErrorsEscape) {
  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  TempDir dir;
  TGenMFrmZPN w(loop, dialogs, dir.path(), LocalTimeText, testing::FakePorts());
  w.SpdBtnOpenClick();
  EXPECT_EQ(dialogs.boxTexts(), std::vector<std::string>{"请先选择芯片型号！"});
  EXPECT_TRUE(dialogs.fileDialogs().empty());

  Window win("SC92F848x");
  win.dialogs.answerFile((win.dir / "missing.hex").string());
  EXPECT_THROW(win.w.SpdBtnOpenClick(), FileError);
}

TEST(ObjectLoading, EepDataAndBootLoaderFiles) {
  Window abov("MC96F8316S");  // EEP file window 0..31
  abov.dialogs.answerFile(abov.text("e.hex", ":0400000011223344A6\r\n").string());
  abov.w.LoadEepDataFile1Click();
  EXPECT_EQ(abov.w.Image->EepImage[0], 0x11);
  EXPECT_EQ(abov.w.Image->EepImage[3], 0x44);
  EXPECT_EQ(abov.w.Image->LowestLoadedAddress, 0xFFFFFFFFu) << "EEP loads keep the main load's statistics";

  Window sc("SC95F750x");  // EEP 6144 bytes
  sc.dialogs.answerFile(sc.file("big.bin", PatternBytes(70000)).string());
  sc.w.LoadEepDataFile1Click();
  EXPECT_EQ(sc.dialogs.boxes().size(), 1u);
  EXPECT_EQ(sc.dialogs.boxes()[0].kind, BoxKind::Warning);
  EXPECT_EQ(sc.w.Image->EepImage[65535], PatternBytes(70000)[65535]);
  EXPECT_TRUE(sc.w.ChkBoxEEP.checked);

  Window le("LE5010AI");
  const auto boot = PatternBytes(1000);
  le.dialogs.answerFile(le.file("boot.bin", boot).string());
  le.w.BitBtnLdBSLClick();
  const uint32_t crc = Crc32(boot);
  EXPECT_EQ(le.w.Image->BootDataSize, 1004);
  EXPECT_EQ(le.w.Image->EepImage[1000], static_cast<uint8_t>(crc));
  EXPECT_EQ(le.w.Image->EepImage[1003], static_cast<uint8_t>(crc >> 24));
  EXPECT_EQ(le.w.Image->EepImage[1004], 0x00);
  EXPECT_EQ(le.w.Log.lines().back(), Format("> 10:00:00 SBL File Total Size is :0x%0.4x, CRC32 is 0x%0.8x.", 1000, crc));
}

TEST(ObjectLoading, SavingTheFlashWindowAndTheEep) {
  Window win("SC95F750x");
  win.w.SaveFile1Click();  // nothing loaded: nothing happens
  EXPECT_TRUE(win.dialogs.fileDialogs().empty());
  win.load(win.text("fw.hex", kHexAt10));
  for (int filter : {1, 2, 3}) {
    const auto out = win.dir / ("out" + std::to_string(filter));
    win.dialogs.answerFile(out.string(), filter);
    win.w.SaveFile1Click();
    const auto bytes = ReadBytes(out);
    if (filter == 1) {
      EXPECT_EQ(bytes.size(), 32768u);
      EXPECT_EQ(bytes[0x13], 4);
    } else {
      EXPECT_EQ(bytes[0], filter == 2 ? ':' : 'S');
    }
  }
  win.dialogs.answerFile((win.dir / "eep.bin").string(), 2);  // always binary
  win.w.SaveEepDatatoFile1Click();
  EXPECT_EQ(ReadBytes(win.dir / "eep.bin").size(), 6144u);
  Window none("IMD111T-6F040");
  none.dialogs.answerFile((none.dir / "eep.bin").string());
  none.w.SaveEepDatatoFile1Click();
  EXPECT_TRUE(std::filesystem::exists(none.dir / "eep.bin"));
  EXPECT_EQ(std::filesystem::file_size(none.dir / "eep.bin"), 0u);
}

}  // namespace
}  // namespace tarvel
