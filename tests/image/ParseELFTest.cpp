#include "image/ParseELF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

#include "support/TestFiles.h"
#include "base/Files.h"
#include "base/ScriptedDialogService.h"
#include "image/IntelHex.h"
#include "image/SRecord.h"

namespace tarvel {
namespace {

using testing::TempDir;

const char* const kParseLine = "> 12:00:00 Parse Main Flash Data from ELF...";

InfoLog FixedClockLog() {
  return InfoLog([] { return std::string("12:00:00"); });
}

std::unique_ptr<MemoryImage> BlankImage() {
  auto img = std::make_unique<MemoryImage>();
  img->Clear(0xFF);
  return img;
}

bool AllBlank(const MemoryImage& img, size_t from, size_t to = kFlashImageSize) {
  return std::all_of(img.FlashImage.begin() + static_cast<ptrdiff_t>(from),
                     img.FlashImage.begin() + static_cast<ptrdiff_t>(to),
                     [](uint8_t b) { return b == 0xFF; });
}

// ---- Files made by the ARM binutils, checked against their objcopy --------------------------------------

std::string ToolsMissing() {
  for (const char* tool : {"arm-none-eabi-as", "arm-none-eabi-ld", "arm-none-eabi-objcopy"})
    if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
      return std::string(tool) + " not found on PATH (Debian package binutils-arm-none-eabi)";
  return {};
}

std::string Quoted(const std::filesystem::path& p) {
  return "'" + p.string() + "'";
}

void RunTool(const std::string& command) {
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(ParseElf, ImageIsWhatObjcopyMakesOfTheLoadableContents) {
  const std::string missing = ToolsMissing();
  ASSERT_TRUE(missing.empty()) << missing;
  const char* data = std::getenv("TARVEL_TEST_DATA");
  ASSERT_NE(data, nullptr);
  const std::filesystem::path src = std::filesystem::path(data) / "elf";
  TempDir tmp;
  const std::string obj = Quoted(tmp.path() / "s.o"), elf = Quoted(tmp.path() / "s.elf");
  // Code at 0x0000, a second PT_LOAD at 0x4000, .data stored in flash behind it with .bss after it in RAM.
  ASSERT_NO_FATAL_FAILURE(
      RunTool("arm-none-eabi-as -mcpu=cortex-m0 -o " + obj + " " + Quoted(src / "segments.s")));
  ASSERT_NO_FATAL_FAILURE(
      RunTool("arm-none-eabi-ld -T " + Quoted(src / "segments.ld") + " -o " + elf + " " + obj));
  ASSERT_NO_FATAL_FAILURE(
      RunTool("arm-none-eabi-objcopy -O binary --gap-fill=0xff " + elf + " " + Quoted(tmp.path() / "s.bin")));
  const std::vector<uint8_t> expected = ReadWholeFile(tmp.path() / "s.bin");
  ASSERT_GT(expected.size(), 0x4000u);

  // objcopy's HEX and S-record forms of the same file load to the same image through our readers.
  for (const char* format : {"ihex", "srec"}) {
    SCOPED_TRACE(format);
    const auto file = tmp.path() / (std::string("s.") + format);
    ASSERT_NO_FATAL_FAILURE(RunTool(std::string("arm-none-eabi-objcopy -O ") + format + " " + elf + " " + Quoted(file)));
    auto img = BlankImage();
    ScriptedDialogService dialogs;
    const RecordTarget target{img->FlashImage, 0, {0, 0xFFFFF, 1, 0, 1, 0}, img.get()};
    const RecordReadResult r = std::string(format) == "ihex" ? ReadHexFile(file, target, dialogs)
                                                             : ReadSRecordFile(file, target, dialogs);
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), img->FlashImage.begin()));
    EXPECT_EQ(r.highest, expected.size() - 1);
  }

  for (uint32_t offset : {0u, 0x100u}) {
    SCOPED_TRACE(offset);
    auto img = BlankImage();
    img->LowestLoadedAddress = 0x1234;
    img->FileByteSum = 0x5678;
    ScriptedDialogService dialogs;
    InfoLog log = FixedClockLog();
    EXPECT_EQ(LoadElfFile(tmp.path() / "s.elf", *img, offset, dialogs, log).Code, 0);
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_TRUE(AllBlank(*img, 0, offset));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), img->FlashImage.begin() + offset));
    // The .bss part of the data segment is not in the file: what follows .data there stays out.
    EXPECT_TRUE(AllBlank(*img, offset + expected.size()));
    const std::string_view marker = "UNRELATED-FILE-BYTES";
    EXPECT_EQ(std::search(img->FlashImage.begin(), img->FlashImage.end(), marker.begin(), marker.end()),
              img->FlashImage.end());
    // Target addresses, not image indices.
    EXPECT_EQ(img->HighestLoadedAddress, expected.size() - 1);
    EXPECT_EQ(img->LowestLoadedAddress, 0u);
    EXPECT_EQ(img->FileByteSum, 0x5678u);
    EXPECT_EQ(log.lines(), std::vector<std::string>(3, kParseLine));
  }
}

// ---- Hand-made files for the odd cases ------------------------------------------------------------------

struct Segment {
  uint32_t type = 1;
  uint32_t offset = 0;
  uint32_t paddr = 0;
  uint32_t filesz = 0;
  uint32_t memsz = 0;
};

void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint32_t kPhoff = 52;
// Where MakeElf puts the payload: right behind a table of `n` entries.
constexpr uint32_t PayloadAt(size_t n) {
  return kPhoff + 32 * static_cast<uint32_t>(n);
}

// A 32-bit little-endian ARM executable: header, program header table at 52, then `payload`.
std::vector<uint8_t> MakeElf(const std::vector<Segment>& segments, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> f(PayloadAt(segments.size()), 0);
  f[0] = 0x7F, f[1] = 'E', f[2] = 'L', f[3] = 'F', f[4] = 1, f[5] = 1, f[6] = 1;
  PutU16(f, 16, 2);   // ET_EXEC
  PutU16(f, 18, 40);  // EM_ARM
  PutU32(f, 20, 1);
  PutU32(f, 28, kPhoff);
  PutU16(f, 40, 52);
  PutU16(f, 42, 32);
  PutU16(f, 44, static_cast<uint32_t>(segments.size()));
  for (size_t k = 0; k < segments.size(); ++k) {
    const Segment& s = segments[k];
    const size_t at = kPhoff + 32 * k;
    PutU32(f, at, s.type);
    PutU32(f, at + 4, s.offset);
    PutU32(f, at + 8, s.paddr);  // p_vaddr: never used
    PutU32(f, at + 12, s.paddr);
    PutU32(f, at + 16, s.filesz);
    PutU32(f, at + 20, s.memsz);
  }
  f.insert(f.end(), payload.begin(), payload.end());
  return f;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t first) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
  return v;
}

TEST(ParseElf, HeaderErrorsShowTheirCodeAndLoadNothing) {
  const std::vector<uint8_t> good = MakeElf({{1, PayloadAt(1), 0x10, 8, 8}}, Pattern(8, 1));
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
    int code;
    std::string box;
  };
  const Case cases[] = {
      {"empty file", [](auto& f) { f.clear(); }, 1, "File Error,Code=1!"},
      {"50 header bytes", [](auto& f) { f.resize(50); }, 1, "File Error,Code=1!"},
      {"bad first byte", [](auto& f) { f[0] = 0x7E; }, 2, "File Error,Code=2!"},
      {"bad name", [](auto& f) { f[3] = 'G'; }, 3, "File Error,Code=3!"},
      {"64-bit", [](auto& f) { f[4] = 2; }, 4,
       "File Error,Code=4! Only 32-bit little-endian ELF files can be loaded."},
      {"big-endian", [](auto& f) { f[5] = 2; }, 4,
       "File Error,Code=4! Only 32-bit little-endian ELF files can be loaded."},
      {"65 entries", [](auto& f) { PutU16(f, 44, 65); }, 5,
       "File Error,Code=5! The program header table is malformed or too large."},
      {"table over 4096 bytes", [](auto& f) { PutU16(f, 42, 72), PutU16(f, 44, 57); }, 5,
       "File Error,Code=5! The program header table is malformed or too large."},
      {"entries smaller than their fields", [](auto& f) { PutU16(f, 42, 16); }, 5,
       "File Error,Code=5! The program header table is malformed or too large."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    std::vector<uint8_t> f = good;
    c.spoil(f);
    auto img = BlankImage();
    ScriptedDialogService dialogs;
    InfoLog log = FixedClockLog();
    EXPECT_EQ(LoadElfFile(tmp.Write("x.elf", f), *img, 0, dialogs, log).Code, c.code);
    EXPECT_EQ(dialogs.boxTexts(), std::vector<std::string>{c.box});
    EXPECT_TRUE(AllBlank(*img, 0));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(img->HighestLoadedAddress, 0u);
  }
}

TEST(ParseElf, AFileEndingInsideItsTablesOrSegmentsIsAFileErrorAfterWhatWasStored) {
  const std::vector<uint8_t> first = Pattern(16, 0x40);
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    bool firstStored;
  };
  const auto withPhoff = [&](uint32_t phoff) {
    std::vector<uint8_t> f = MakeElf({{1, PayloadAt(1), 0, 16, 16}}, first);
    PutU32(f, 28, phoff);
    return f;
  };
  const Case cases[] = {
      {"table past the end", withPhoff(PayloadAt(1) + 1), false},
      {"table offset near 4 GiB", withPhoff(0xFFFFFFF0), false},
      {"second segment past the end",
       MakeElf({{1, PayloadAt(2), 0, 16, 16}, {1, PayloadAt(2) + 8, 0x100, 16, 16}}, first), true},
      {"segment offset wraps 32 bits",
       MakeElf({{1, PayloadAt(2), 0, 16, 16}, {1, 0xFFFFFFFF, 0x100, 2, 2}}, first), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    auto img = BlankImage();
    ScriptedDialogService dialogs;
    InfoLog log = FixedClockLog();
    EXPECT_THROW(LoadElfFile(tmp.Write("x.elf", c.file), *img, 0, dialogs, log), FileError);
    EXPECT_TRUE(dialogs.boxes().empty());
    if (c.firstStored) {
      EXPECT_TRUE(std::equal(first.begin(), first.end(), img->FlashImage.begin()));
      EXPECT_TRUE(AllBlank(*img, first.size()));
    } else {
      EXPECT_TRUE(AllBlank(*img, 0));
    }
  }
  TempDir tmp;
  auto img = BlankImage();
  ScriptedDialogService dialogs;
  InfoLog log = FixedClockLog();
  EXPECT_THROW(LoadElfFile(tmp.path() / "missing.elf", *img, 0, dialogs, log), FileError);
}

TEST(ParseElf, OnlyFileBytesOfLoadSegmentsAreStoredAtTheirPhysicalAddresses) {
  const std::vector<uint8_t> payload = Pattern(64, 0x80);
  const std::vector<Segment> segments = {
      {1, PayloadAt(5), 0x300, 16, 16},        // a higher address first
      {4, PayloadAt(5) + 16, 0x400, 16, 16},   // PT_NOTE: not loaded
      {1, 0, 0x200, 16, 16},                   // from the very start of the file
      {1, PayloadAt(5) + 32, 0x500, 0, 0x40},  // zero-filled only: nothing in the file
      {1, PayloadAt(5) + 48, 0x100, 16, 4},    // file size above memory size: only the memory size
  };
  TempDir tmp;
  const std::vector<uint8_t> file = MakeElf(segments, payload);
  auto img = BlankImage();
  ScriptedDialogService dialogs;
  InfoLog log = FixedClockLog();
  EXPECT_EQ(LoadElfFile(tmp.Write("x.elf", file), *img, 0, dialogs, log).Code, 0);
  EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + 16, img->FlashImage.begin() + 0x300));
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 16, img->FlashImage.begin() + 0x200));
  EXPECT_TRUE(std::equal(payload.begin() + 48, payload.begin() + 52, img->FlashImage.begin() + 0x100));
  EXPECT_TRUE(AllBlank(*img, 0, 0x100));
  EXPECT_TRUE(AllBlank(*img, 0x104, 0x200));
  EXPECT_TRUE(AllBlank(*img, 0x210, 0x300));
  EXPECT_TRUE(AllBlank(*img, 0x310));
  EXPECT_EQ(img->HighestLoadedAddress, 0x30Fu) << "the highest stored address, not the last segment's";
  EXPECT_EQ(log.lines(), std::vector<std::string>(3, kParseLine));
}

TEST(ParseElf, BytesBeyondTheImageAreDroppedNeverWrapped) {
  const std::vector<uint8_t> payload = Pattern(16, 1);
  struct Case {
    const char* what;
    uint32_t paddr, imageOffset;
    size_t storedAt, storedCount;  // where the first bytes of the payload land
    uint32_t highest;
  };
  const Case cases[] = {
      {"straddles the image end", kFlashImageSize - 4, 0, kFlashImageSize - 4, 4, kFlashImageSize + 11},
      {"address plus offset wraps 32 bits", 0xFFFFFFF8, 0x20, 0, 0, 0xFFFFFFFF},
      {"far beyond", 0x80000000, 0, 0, 0, 0x8000000F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    auto img = BlankImage();
    ScriptedDialogService dialogs;
    InfoLog log = FixedClockLog();
    const auto path = tmp.Write("x.elf", MakeElf({{1, PayloadAt(1), c.paddr, 16, 16}}, payload));
    EXPECT_EQ(LoadElfFile(path, *img, c.imageOffset, dialogs, log).Code, 0);
    EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + c.storedCount,
                           img->FlashImage.begin() + static_cast<ptrdiff_t>(c.storedAt)));
    EXPECT_EQ(
        std::count_if(img->FlashImage.begin(), img->FlashImage.end(), [](uint8_t b) { return b != 0xFF; }),
        static_cast<ptrdiff_t>(c.storedCount));
    EXPECT_EQ(img->HighestLoadedAddress, c.highest);
  }
}

}  // namespace
}  // namespace tarvel
