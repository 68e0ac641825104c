// Our readers and writers checked against srec_cat, an independent implementation of the formats.
#include <gtest/gtest.h>

#include <memory>

#include "base/ScriptedDialogService.h"
#include "image/IntelHex.h"
#include "image/SRecord.h"
#include "support/TestFiles.h"

namespace tarvel {
namespace {

using testing::HaveTool;
using testing::PatternBytes;
using testing::ReadBytes;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteBytes;

struct Loaded {
  std::unique_ptr<MemoryImage> image = std::make_unique<MemoryImage>();
  ScriptedDialogService dialogs;
  RecordReadResult result;
};

Loaded LoadWith(bool hex, const std::filesystem::path& file, uint32_t flashStart, uint32_t flashEnd) {
  Loaded l;
  l.image->Clear(0xFF);
  const RecordTarget target{l.image->FlashImage, flashStart, {flashStart, flashEnd, 1, 0, 1, 0}, l.image.get()};
  l.result = hex ? ReadHexFile(file, target, l.dialogs) : ReadSRecordFile(file, target, l.dialogs);
  return l;
}

// Files srec_cat makes, in each addressing form, load to the bytes they were made from.
TEST(Oracle, FilesMadeBySrecCatLoad) {
  if (!HaveTool("srec_cat")) return;
  TempDir dir;
  const std::vector<uint8_t> data = PatternBytes(300000);
  WriteBytes(dir / "data.bin", data);
  struct Case {
    const char* what;
    const char* format;
    bool hex;
    uint32_t offset;
  };
  const Case cases[] = {
      {"HEX, segment addressing (type 02)", "-intel -address-length=3", true, 0x10},
      {"HEX, linear addressing (type 04)", "-intel -address-length=4", true, 0x20000},
      {"S-record S2", "-motorola -address-length=3", false, 0x100},
      {"S-record S3 at a high address", "-motorola -address-length=4", false, 0x18000010},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto file = dir / (c.hex ? "made.hex" : "made.s19");
    std::string out;
    ASSERT_EQ(RunCommand("srec_cat " + (dir / "data.bin").string() + " -binary -offset " + std::to_string(c.offset) +
                      " -o " + file.string() + " " + c.format,
                  &out),
              0)
        << out;
    const uint32_t flashStart = c.offset >= 0x18000000 ? 0x18000000 : 0;
    Loaded l = LoadWith(c.hex, file, flashStart, flashStart + 0x1FFFFF);
    EXPECT_TRUE(l.dialogs.boxes().empty());
    const uint32_t at = c.offset - flashStart;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), l.image->FlashImage.begin() + at));
    EXPECT_EQ(l.image->FlashImage[at - 1], 0xFF);
    EXPECT_EQ(l.image->FlashImage[at + data.size()], 0xFF);
    EXPECT_EQ(l.result.lowest, c.offset);
    EXPECT_EQ(l.result.highest, c.offset + data.size() - 1);
    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    EXPECT_EQ(l.result.sum, sum);
  }
}

// Every file our writers produce passes srec_cat's record checks and converts back to the same bytes.
TEST(Oracle, SrecCatAcceptsWhatWeWrite) {
  if (!HaveTool("srec_cat")) return;
  TempDir dir;
  const std::vector<uint8_t> image = PatternBytes(0x50000, 7);
  struct Case {
    const char* what;
    bool hex;
    uint32_t base, first, last;
  };
  const Case cases[] = {
      {"HEX 16-bit form", true, 0, 0, 0xFFFF},
      {"HEX 16-bit form, odd length", true, 0, 0x10, 0x1234},
      {"HEX 32-bit form across three 64 KB pages", true, 0, 0x8, 0x2FFF0},
      {"S1", false, 0, 0, 0x8000},
      {"S2", false, 0, 0x100, 0x4FFFF},
      {"S3 at 0x18000000", false, 0x18000000, 0x18000000, 0x1801FFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto file = dir / (c.hex ? "ours.hex" : "ours.s19");
    if (c.hex)
      WriteHexFile(file, image, c.base, c.first, c.last);
    else
      WriteSRecordFile(file, image, c.base, c.first, c.last);
    std::string out;
    ASSERT_EQ(RunCommand("srec_cat " + file.string() + (c.hex ? " -intel" : " -motorola") + " -offset -" +
                      std::to_string(c.first) + " -o " + (dir / "back.bin").string() + " -binary",
                  &out),
              0)
        << out;
    const std::vector<uint8_t> back = ReadBytes(dir / "back.bin");
    const size_t from = c.first - c.base;
    ASSERT_EQ(back.size(), c.last - c.first + 1);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), image.begin() + static_cast<std::ptrdiff_t>(from)));
    // And our own reader takes it back as well.
    Loaded l = LoadWith(c.hex, file, c.base, c.base + 0x1FFFFF);
    EXPECT_TRUE(l.dialogs.boxes().empty());
    EXPECT_TRUE(std::equal(back.begin(), back.end(), l.image->FlashImage.begin() + static_cast<std::ptrdiff_t>(from)));
  }
}

}  // namespace
}  // namespace tarvel
