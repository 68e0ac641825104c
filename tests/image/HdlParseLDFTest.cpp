#include "image/HdlParseLDF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/TestFiles.h"
#include "base/Errors.h"

namespace tarvel {
namespace {

using testing::TempDir;

constexpr std::string_view kOpenScript = "%:Script Data Section Begin\n";
constexpr std::string_view kCloseScript = "%:Script Data Section End\n";

std::string Repeat(std::string_view text, size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

// `count` empty script sections: one 16-byte slot each, so the next record starts at 16 × count.
std::string Slots(size_t count) {
  return Repeat(std::string(kOpenScript) + std::string(kCloseScript), count);
}

struct Load {
  std::unique_ptr<MemoryImage> img = std::make_unique<MemoryImage>();
  SectionedFirmwareResult result;

  explicit Load(std::string_view text) {
    img->Clear(0xFF);
    TempDir tmp;
    result = LoadSectionedFirmware(tmp.Write("fw.ldf", text), *img);
  }
  std::vector<uint8_t> At(size_t index, size_t count) const {
    return {img->FlashImage.begin() + static_cast<ptrdiff_t>(index),
            img->FlashImage.begin() + static_cast<ptrdiff_t>(index + count)};
  }
  // Bytes that are not blank, outside the ranges a test expects.
  size_t Written() const {
    return static_cast<size_t>(
        std::count_if(img->FlashImage.begin(), img->FlashImage.end(), [](uint8_t b) { return b != 0xFF; }));
  }
};

using Bytes = std::vector<uint8_t>;
using Placement = std::vector<std::pair<size_t, Bytes>>;  // image index -> bytes there

// The markers that Slots(count) writes, followed by `rest`.
Placement AfterSlots(size_t count, Placement rest) {
  Placement p;
  for (size_t i = 0; i < count; ++i) p.push_back({16 * i, {0xF6, 0x00, 0x00}});
  p.insert(p.end(), rest.begin(), rest.end());
  return p;
}

TEST(SectionedFirmware, PacksSectionsAndRecordsIntoSlots) {
  const Load l(
      "# made by the vendor tool\r\n"
      "%:Parameters Data Section Begin\r\n"
      "\r\n"
      "A0 01 02 03 03 11 22 33\r\n"
      "a0,4,5,6,3,\tAA bb c\r\n"
      "%:Parameters Data Section End\r\n");
  EXPECT_EQ(l.At(0, 16), Bytes({0xF5, 0x00, 0xC6, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(l.At(16, 8), Bytes({0xA0, 0x01, 0x02, 0x03, 0x03, 0x11, 0x22, 0x33}));
  EXPECT_EQ(l.At(32, 8), Bytes({0xA0, 0x04, 0x05, 0x06, 0x03, 0xAA, 0xBB, 0x0C}));
  EXPECT_EQ(l.Written(), 3u + 8 + 8);
  EXPECT_EQ(l.result.RecordCount, 3u);
  EXPECT_EQ(l.result.EndPosition, 48u);
  ASSERT_TRUE(l.result.Settings);
  const SectionedFirmwareSettings& s = *l.result.Settings;
  EXPECT_EQ(s.FlashStart, 0u);
  EXPECT_EQ(s.FlashEnd, 0x3FFu);
  EXPECT_EQ(s.FlashSizeKB, 1);
  EXPECT_EQ(s.FlashUnits, 4);
  EXPECT_EQ(s.EraseKey, 3);
  EXPECT_EQ(s.ProgTiming2, 3);
  EXPECT_EQ(s.ProgTiming1, 0);
  EXPECT_EQ(s.TopReservedWords, 0);
}

TEST(SectionedFirmware, RecordPlacement) {
  struct Case {
    const char* what;
    std::string text;
    Placement expect;
    uint64_t end;
  };
  const Case cases[] = {
      {"data tokens: a bad first digit counts 0, a bad second digit ends the number",
       "A0 0 0 0 6 G5 1G GG 123 f 7\n",
       {{0, {0xA0, 0, 0, 0, 6, 0x05, 0x01, 0x00, 0x12, 0x0F, 0x07}}},
       16},
      {"header fields are kept to 8 bits", "A0 1FF 0 0 1 5\n", {{0, {0xA0, 0xFF, 0, 0, 1, 5}}}, 16},
      {"a record ending on a slot boundary leaves an empty slot",
       "A0 1 2 3 B 0 1 2 3 4 5 6 7 8 9 A\nA0 4 5 6 1 EE\n",
       {{0, {0xA0, 1, 2, 3, 0x0B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x0A}}, {32, {0xA0, 4, 5, 6, 1, 0xEE}}},
       48},
      {"fewer data tokens than n",
       "A0 1 2 3 8 01 02\nA0 4 5 6 1 EE\n",
       {{0, {0xA0, 1, 2, 3, 8, 1, 2}}, {16, {0xA0, 4, 5, 6, 1, 0xEE}}},
       32},
      {"n = 0 takes up to 256 tokens",
       "A0 1 2 3 0" + Repeat(" 7", 300) + "\n",
       {{0, Bytes{0xA0, 1, 2, 3, 0}}, {5, Bytes(256, 7)}},
       272},
      {"data that would pass the 4 KB page end moves to the next page",
       Slots(255) + "A0 1 2 3 20" + Repeat(" 5", 32) + "\n",
       AfterSlots(255, {{4080, Bytes(16, 0xFF)}, {4096, Bytes{0xA0, 1, 2, 3, 0x20}}, {4101, Bytes(32, 5)}}),
       4144},
      {"the header does not count in the page test", Slots(255) + "A0 1 2 3 10" + Repeat(" 5", 16) + "\n",
       AfterSlots(255, {{4080, Bytes{0xA0, 1, 2, 3, 0x10}}, {4085, Bytes(16, 5)}}), 4112},
      {"an opening inside an open section writes nothing",
       "%:Script Data Section Begin\n%:Parameters Data Section Begin\nA0 1 2 3 1 AA\n",
       {{0, {0xF6, 0, 0}}, {16, {0xA0, 1, 2, 3, 1, 0xAA}}},
       32},
      {"closing lines of every kind reopen the door",
       "%:Script Data Section Begin\n%:Firmware Data Section End\n%:Parameters Data Section Begin\n",
       {{0, {0xF6, 0, 0}}, {16, {0xF5, 0, 0xC6}}},
       32},
      {"firmware openings and # lines are comments; records after them count",
       "%:Firmware Data Section Begin\n# note\n%anything\nB0 1 2 3 1 AA\nA0 1 2 3 1 AA\n",
       {{0, {0xA0, 1, 2, 3, 1, 0xAA}}},
       16},
      {"section lines with trailing blanks",
       "%:Parameters Data Section Begin \t\r\n",
       {{0, {0xF5, 0, 0xC6}}},
       16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Load l(c.text);
    size_t written = 0;
    for (const auto& [index, bytes] : c.expect) {
      EXPECT_EQ(l.At(index, bytes.size()), bytes) << "at " << index;
      written +=
          static_cast<size_t>(std::count_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0xFF; }));
    }
    EXPECT_EQ(l.Written(), written) << "bytes written elsewhere";
    EXPECT_EQ(l.result.EndPosition, c.end);
  }
}

TEST(SectionedFirmware, SettingsFollowTheRecordCountAndEnd) {
  struct Case {
    size_t slots;
    uint8_t low, high;
    uint32_t flashEnd;
    uint16_t sizeKB;
  };
  const Case cases[] = {
      {0, 0, 0, 0x3FF, 1},                 // an empty file
      {300, 0x2C, 0x01, 0x13FF, 5},        // 300 records end at 4800
      {65535, 0xFF, 0xFF, 0xFFFFF, 1024},  // the most the units can be told
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slots);
    const Load l(Slots(c.slots));
    EXPECT_EQ(l.result.RecordCount, c.slots);
    EXPECT_EQ(l.result.EndPosition, 16 * c.slots);
    ASSERT_TRUE(l.result.Settings);
    const SectionedFirmwareSettings& s = *l.result.Settings;
    EXPECT_EQ(s.EraseKey, c.low);
    EXPECT_EQ(s.ProgTiming2, c.low);
    EXPECT_EQ(s.ProgTiming1, c.high);
    EXPECT_EQ(s.TopReservedWords, c.high);
    EXPECT_EQ(s.FlashEnd, c.flashEnd);
    EXPECT_EQ(s.FlashSizeKB, c.sizeKB);
    EXPECT_EQ(s.FlashUnits, 4 * c.sizeKB);
  }
}

TEST(SectionedFirmware, ABadRecordHeaderIsAConversionErrorKeepingEarlierRecords) {
  const struct {
    const char* record;
    const char* message;
  } cases[] = {
      {"A0 1 2 3", "'0x' is not a valid integer value"},
      {"A0", "'0x' is not a valid integer value"},
      {"A0 1 2 3G 1 5", "'0x3G' is not a valid integer value"},
      {"a0 1 2 3 0x5 5", "'0x0x5' is not a valid integer value"},
      {"A0 1 2 3 -1 5", "'0x-1' is not a valid integer value"},
      {"A0 100000000 2 3 1 5", "'0x100000000' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    auto img = std::make_unique<MemoryImage>();
    img->Clear(0xFF);
    TempDir tmp;
    const auto path =
        tmp.Write("fw.ldf", std::string(kOpenScript) + "A0 1 2 3 1 AA\n" + c.record + "\nA0 4 5 6 1 BB\n");
    try {
      LoadSectionedFirmware(path, *img);
      ADD_FAILURE() << "no ConversionError";
    } catch (const ConversionError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(img->FlashImage[0], 0xF6);
    EXPECT_EQ(img->FlashImage[16], 0xA0);
    EXPECT_EQ(img->FlashImage[21], 0xAA);
    EXPECT_TRUE(std::all_of(img->FlashImage.begin() + 22, img->FlashImage.end(),
                            [](uint8_t b) { return b == 0xFF; }));
  }
}

TEST(SectionedFirmware, RecordsBeyondTheImageAreDroppedAndGiveNoSettings) {
  // Each record: 5 header bytes and 256 data bytes (n = 0), 272 bytes with its padding.
  std::string line = "A0 0 0 0 0";
  for (int i = 0; i < 256; ++i) line += " " + std::string(1, "0123456789ABCDEF"[i % 16]);
  line += "\n";
  const size_t records = kFlashImageSize / 272 + 1;
  const Load l(Repeat(line, records));
  EXPECT_EQ(l.result.RecordCount, records);
  EXPECT_EQ(l.result.EndPosition, 272 * records);
  const uint64_t lastByte = 272 * (records - 1) + 261;
  EXPECT_EQ(l.result.DroppedBytes, lastByte - kFlashImageSize);
  EXPECT_FALSE(l.result.Settings);
  EXPECT_EQ(SectionedFirmwareTooLargeText(l.result),
            "Firmware file too large: its records need 0x00200860 bytes, the flash image holds 0x00200810!");
  const size_t lastIndex = kFlashImageSize - 1;
  EXPECT_EQ(l.img->FlashImage[lastIndex], (lastIndex % 272 - 5) % 16);
  EXPECT_EQ(l.At(0, 6), Bytes({0xA0, 0, 0, 0, 0, 0}));  // nothing wrapped around to the start

  const Load tooMany(Slots(65536));
  EXPECT_EQ(tooMany.result.RecordCount, 65536u);
  EXPECT_EQ(tooMany.result.DroppedBytes, 0u);
  EXPECT_FALSE(tooMany.result.Settings) << "a count the units cannot be told";
  EXPECT_EQ(SectionedFirmwareTooLargeText(tooMany.result),
            "Firmware file has 65536 records, at most 65535 are possible!");
}

}  // namespace
}  // namespace tarvel
