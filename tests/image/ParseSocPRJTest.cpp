#include "image/ParseSocPRJ.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>

#include "support/TestFiles.h"
#include "base/Files.h"
#include "base/ScriptedDialogService.h"

namespace tarvel {
namespace {

using testing::TempDir;

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Pattern(size_t n, uint8_t first) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i * 7);
  return v;
}

// A project file as the vendor's tool lays it out. Skipped and unused regions hold 0x01 so that the
// byte sum shows whether they were counted.
struct SocFile {
  std::string name = "SOC8051X", nick = "SX";
  uint32_t optionValue[4] = {0x000000A5, 0x0000003C, 0, 0x11223344};
  uint32_t optionAddress[4] = {0x00001234, 0x00000000, 0, 0xFFFF0081};
  uint8_t eraseType = 2;
  uint32_t descriptorB = 0, descriptorC = 0;  // 0: the intermediate blocks' sizes apply
  std::vector<uint8_t> aprom = Pattern(300, 3), areaB = Pattern(20, 5), areaC = Pattern(12, 9);

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> f(745, 0x01);
    const std::string_view sig = "[SOC_Project]";
    for (size_t i = 0; i < sig.size(); ++i) f[2 * i] = static_cast<uint8_t>(sig[i]), f[2 * i + 1] = 0x00;
    std::fill_n(f.begin() + 32, 24, 0);
    std::copy(name.begin(), name.end(), f.begin() + 32);
    std::copy(nick.begin(), nick.end(), f.begin() + 48);
    const uint8_t code[4] = {0x12, 0xAB, 0x00, 0xFF};
    std::copy_n(code, 4, f.begin() + 64);
    for (size_t i = 0; i < 4; ++i) {
      PutU32(f, 80 + 4 * i, optionValue[i]);
      PutU32(f, 100 + 4 * i, optionAddress[i]);
    }
    PutU32(f, 120, 0xCAFEF00D);  // option CRC
    PutU32(f, 144, 0x0BADBEEF);  // project CRC
    f[193] = 0x07, f[194] = 0x02, f[195] = eraseType;
    PutU32(f, 196, 0x8000);                               // area size
    PutU32(f, 200, 0x00010000);                           // base address
    PutU32(f, 204, static_cast<uint32_t>(aprom.size()));  // file size S
    PutU32(f, 208, 0x2E9);                                // file offset
    PutU32(f, 220 + 12, descriptorB);
    PutU32(f, 248 + 12, descriptorC);
    f.insert(f.end(), aprom.begin(), aprom.end());
    for (const std::vector<uint8_t>* area : {&areaB, &areaC}) {
      std::vector<uint8_t> block(117 + 4, 0x01);
      PutU32(block, 37, static_cast<uint32_t>(area->size()));
      f.insert(f.end(), block.begin(), block.end());
      f.insert(f.end(), area->begin(), area->end());
    }
    return f;
  }
};

uint32_t Sum(const std::vector<uint8_t>& bytes) {
  return std::accumulate(bytes.begin(), bytes.end(), 0u);
}

struct Load {
  std::unique_ptr<MemoryImage> img = std::make_unique<MemoryImage>();
  ScriptedDialogService dialogs;
  InfoLog log{[] { return std::string("12:00:00"); }};
  SocProjectResult result;

  explicit Load(const std::vector<uint8_t>& file, uint32_t sumBefore = 0) {
    img->FillForStartup();
    img->FileByteSum = sumBefore;
    img->LowestLoadedAddress = 0x55;
    img->HighestLoadedAddress = 0x66;
    TempDir tmp;
    result = LoadSocProject(tmp.Write("p.socprj", file), *img, dialogs, log);
  }
};

TEST(ParseSocProject, LoadsAreasOptionsSumAndSummary) {
  SocFile soc;
  soc.descriptorC = static_cast<uint32_t>(soc.areaC.size());  // C goes to the upper half
  const std::vector<uint8_t> file = soc.Bytes();
  Load l(file, 1000);
  EXPECT_EQ(l.result.Code, 0);
  EXPECT_TRUE(l.result.OptionChanged);
  EXPECT_TRUE(l.dialogs.boxes().empty());
  EXPECT_TRUE(std::equal(soc.aprom.begin(), soc.aprom.end(), l.img->FlashImage.begin()));
  EXPECT_EQ(l.img->FlashImage[soc.aprom.size()], 0xFF);
  EXPECT_TRUE(std::equal(soc.areaB.begin(), soc.areaB.end(), l.img->EepImage.begin()));
  EXPECT_TRUE(std::equal(soc.areaC.begin(), soc.areaC.end(), l.img->EepImage.begin() + 32768));
  EXPECT_EQ(l.img->OptionData[0x34], 0xA5);
  EXPECT_EQ(l.img->OptionData[0x81], 0x44);  // address AND 0xFF, low byte of the value
  EXPECT_EQ(std::count(l.img->OptionData.begin(), l.img->OptionData.end(), 0xFF), 4096 - 2);
  EXPECT_EQ(l.img->FileByteSum, 1000 + Sum(file)) << "every byte of the file counts, on top of the old sum";
  EXPECT_EQ(l.img->LowestLoadedAddress, 0u);
  EXPECT_EQ(l.img->HighestLoadedAddress, 299u);
  const std::vector<std::string> summary = {
      "",
      "> SOC Project File Basic Information :",
      "     Chip Name is :SOC8051X",
      "     Chip Nick Name is :SX",
      "     Chip Program Code is : 12, AB, 00, FF, ",
      "     Chip Option Address(0x00001234) Value is 000000A5.",
      "     Chip Option Address(0x00000000) Value is 0000003C.",
      "     Chip Option Address(0x00000000) Value is 00000000.",
      "     Chip Option Address(0xFFFF0081) Value is 11223344.",
      "     Chip Opt CRC Data is : CAFEF00D, ",
      "     Chip Project CRC Data is : 0BADBEEF, ",
      "",
      "> Chip APROM Basic Information :",
      "     Chip APROM Prog Mode = 07.",
      "     Chip APROM Prog Area = 02.",
      "     Chip APROM Erase Type = Chip Erase(2)!",
      "     Chip APROM Program Area Size(Byte)  = 0x00008000.",
      "     Chip APROM Program Base Address     = 0x00010000.",
      "     Chip APROM Program File Size(Byte)  = 0x0000012C.",
      "     Chip APROM Prog File Offset Address = 0x000002E9.",
  };
  EXPECT_EQ(l.log.lines(), summary);
}

TEST(ParseSocProject, ZeroAreaSizesTakeTheFallbackSizesIntoEepFromIndexZero) {
  SocFile soc;
  soc.areaB = Pattern(40, 0x10);
  soc.areaC = Pattern(16, 0x80);  // with C's size 0, C overwrites the start of B
  Load l(soc.Bytes());
  EXPECT_EQ(l.result.Code, 0);
  EXPECT_TRUE(std::equal(soc.areaC.begin(), soc.areaC.end(), l.img->EepImage.begin()));
  EXPECT_TRUE(std::equal(soc.areaB.begin() + 16, soc.areaB.end(), l.img->EepImage.begin() + 16));
  EXPECT_EQ(l.img->EepImage[40], 0xFF);
  EXPECT_EQ(l.img->EepImage[32768], 0xFF);
}

TEST(ParseSocProject, EdgeValues) {
  SocFile soc;
  soc.aprom.clear();  // S = 0
  soc.eraseType = 3;
  soc.optionAddress[0] = 0x00001234, soc.optionValue[0] = 0x000000A5;
  for (size_t i = 1; i < 4; ++i) soc.optionAddress[i] = 0;
  Load l(soc.Bytes());
  EXPECT_EQ(l.result.Code, 0);
  EXPECT_TRUE(l.result.OptionChanged);
  EXPECT_EQ(l.img->OptionData[0x34], 0xA5);
  EXPECT_EQ(l.img->HighestLoadedAddress, 0u);
  EXPECT_EQ(l.img->FlashImage[0], 0xFF);
  for (const std::string_view line : l.log.lines()) EXPECT_EQ(line.find("Erase Type"), std::string::npos) << line;

  for (uint8_t type : {0, 1}) {
    soc.eraseType = type;
    Load e(soc.Bytes());
    EXPECT_EQ(e.log.lines()[15], type == 0 ? "     Chip APROM Erase Type = No Erase(0)!"
                                           : "     Chip APROM Erase Type = Sector Erase(1)!");
  }

  for (size_t i = 0; i < 4; ++i) soc.optionAddress[i] = 0;
  EXPECT_FALSE(Load(soc.Bytes()).result.OptionChanged);
}

TEST(ParseSocProject, WrongSignatureShowsTheFormatBoxAndReadsNothingElse) {
  std::vector<uint8_t> wrongChar = SocFile().Bytes();
  wrongChar[2 * 5] = 'c';
  std::vector<uint8_t> highBytes = SocFile().Bytes();  // only the low byte of each character is compared
  for (size_t i = 1; i < 26; i += 2) highBytes[i] = 0xEE;
  EXPECT_EQ(Load(highBytes).result.Code, 0);

  for (const std::vector<uint8_t>& file :
       {wrongChar, std::vector<uint8_t>(wrongChar.begin(), wrongChar.begin() + 20), std::vector<uint8_t>{}}) {
    Load l(file);
    EXPECT_EQ(l.result.Code, 2);
    EXPECT_FALSE(l.result.OptionChanged);
    EXPECT_EQ(l.dialogs.boxTexts(), std::vector<std::string>{"文件格式不对，请确认！"});
    EXPECT_TRUE(l.log.lines().empty());
    EXPECT_EQ(l.img->FlashImage[0], 0xFF);
    EXPECT_EQ(l.img->OptionData[0x34], 0xFF);
    EXPECT_EQ(l.img->HighestLoadedAddress, 0u);
  }
}

TEST(ParseSocProject, ATruncatedFileIsAFileErrorKeepingWhatWasRead) {
  SocFile soc;
  const std::vector<uint8_t> full = soc.Bytes();
  struct Case {
    const char* what;
    size_t length;
    size_t aprom;  // APROM bytes that made it into the image
  };
  const Case cases[] = {
      {"inside the chip information", 100, 0},
      {"inside the APROM data", 745 + 120, 120},
      {"inside area C", full.size() - 1, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> file(full.begin(), full.begin() + static_cast<ptrdiff_t>(c.length));
    auto img = std::make_unique<MemoryImage>();
    img->FillForStartup();
    ScriptedDialogService dialogs;
    InfoLog log;
    TempDir tmp;
    EXPECT_THROW(LoadSocProject(tmp.Write("p.socprj", file), *img, dialogs, log), FileError);
    EXPECT_TRUE(std::equal(soc.aprom.begin(), soc.aprom.begin() + static_cast<ptrdiff_t>(c.aprom),
                           img->FlashImage.begin()));
    EXPECT_EQ(img->FlashImage[c.aprom], 0xFF);
    EXPECT_EQ(img->FileByteSum, Sum(file));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(dialogs.boxes().empty());
  }
}

TEST(ParseSocProject, AreasLargerThanTheBuffersAreCutAtTheirEnds) {
  SocFile soc;
  soc.aprom = Pattern(kFlashImageSize + 10, 1);
  soc.areaB = Pattern(70000, 2);
  soc.areaC = Pattern(40000, 3);
  soc.descriptorB = 70000;
  soc.descriptorC = 40000;
  const std::vector<uint8_t> file = soc.Bytes();
  Load l(file);
  EXPECT_EQ(l.result.Code, 0);
  EXPECT_TRUE(std::equal(l.img->FlashImage.begin(), l.img->FlashImage.end(), soc.aprom.begin()));
  EXPECT_TRUE(std::equal(soc.areaB.begin(), soc.areaB.begin() + 32768, l.img->EepImage.begin()));
  EXPECT_TRUE(std::equal(soc.areaC.begin(), soc.areaC.begin() + 32768, l.img->EepImage.begin() + 32768));
  EXPECT_EQ(l.img->FileByteSum, Sum(file));
  EXPECT_EQ(l.img->HighestLoadedAddress, kFlashImageSize + 9);
  EXPECT_EQ(l.log.lines().size(), 20u);
}

}  // namespace
}  // namespace tarvel
