// The programmer firmware file: files put together by hand field by field, files we write, damaged files
// and the tarvel-mkfwr tool.
#include "ops/FirmwareFile.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/Files.h"
#include "base/RandomSource.h"
#include "support/TestFiles.h"

namespace tarvel {
namespace {

using testing::PatternBytes;
using testing::TempDir;

// The container written out by hand from its documented layout, independently of the writer.
struct Layout {
  std::string version = "V1.00";  // the 8-byte field, NUL-padded
  uint16_t key = 0x5A3C;
  uint32_t end = 4096;
  uint32_t length = 2048;
  std::vector<uint8_t> table = std::vector<uint8_t>(3290, 0);
  std::vector<uint8_t> body;  // stored bytes, zero-filled up to L rounded to 16
};

void AppendWord(std::vector<uint8_t>& f, uint16_t w) {
  f.push_back(static_cast<uint8_t>(w));
  f.push_back(static_cast<uint8_t>(w >> 8));
}

// Replaces the check value (the last four bytes) by the sum of the bytes before it.
void Reseal(std::vector<uint8_t>& f) {
  f.resize(f.size() - 4);
  uint32_t sum = 0;
  for (uint8_t b : f) sum += b;
  AppendWord(f, static_cast<uint16_t>(sum));
  AppendWord(f, static_cast<uint16_t>(sum >> 16));
}

std::vector<uint8_t> Craft(const Layout& l) {
  std::vector<uint8_t> f;
  for (char c : std::string("TvlFmWr")) f.push_back(static_cast<uint8_t>(c) ^ 0xA5);
  std::string version = l.version;
  version.resize(8, '\0');
  f.insert(f.end(), version.begin(), version.end());
  AppendWord(f, l.key);
  AppendWord(f, static_cast<uint16_t>(l.end) ^ l.key);
  AppendWord(f, static_cast<uint16_t>(l.end >> 16) ^ l.key);
  AppendWord(f, static_cast<uint16_t>(l.length >> 16) ^ l.key);
  AppendWord(f, static_cast<uint16_t>(l.length) ^ l.key);
  f.insert(f.end(), l.table.begin(), l.table.end());
  std::vector<uint8_t> body = l.body;
  body.resize((static_cast<size_t>(l.length) + 15) / 16 * 16, 0);
  f.insert(f.end(), body.begin(), body.end());
  f.insert(f.end(), 876, 0x3C);
  f.insert(f.end(), 4, 0);
  Reseal(f);
  return f;
}

// Overwrites a header word of a finished file, keyed with its K, and reseals it.
void PatchWord(std::vector<uint8_t>& f, size_t offset, uint16_t value) {
  const uint16_t key = static_cast<uint16_t>(f[15] | f[16] << 8);
  f[offset] = static_cast<uint8_t>(value ^ key);
  f[offset + 1] = static_cast<uint8_t>((value ^ key) >> 8);
  Reseal(f);
}

TEST(FirmwareFile, DescramblesWithTheKeyTableAsLaidOut) {
  // 1028 groups: the key word index runs past the end of the table (group 823 on) and wraps at group 1024.
  // L = 4100 is not a multiple of 16, so the body is 4112 bytes. Stored bytes 0 show the key itself.
  Layout l;
  l.length = 4100;
  l.end = 4096 + 1024;  // two blocks
  for (size_t i = 0; i < l.table.size(); ++i) l.table[i] = static_cast<uint8_t>(i * 7 + 1);
  const auto T = [&](size_t i) { return l.table[i]; };
  const FirmwareFileResult r = ParseFirmwareFile(Craft(l));
  ASSERT_TRUE(r.valid) << r.reason;
  ASSERT_EQ(r.image.size(), 4112u);
  struct Case {
    size_t group;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {0, {T(0), T(1), T(0), T(1)}},
      {1, {T(4), T(5), T(4), T(5)}},                // w = 2
      {822, {T(3288), T(3289), T(3288), T(3289)}},  // w = 1644: the last pair inside the table
      {823, {0, 0, 0, 0}},                          // w = 1646: beyond the table
      {1023, {0, 0, 0, 0}},                         // w = 2046
      {1024, {T(0), T(1), T(0), T(1)}},             // w wraps to 0
      {1027, {T(12), T(13), T(12), T(13)}},         // in the rounding of L
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> got(r.image.begin() + c.group * 4, r.image.begin() + c.group * 4 + 4);
    EXPECT_EQ(got, c.bytes) << "group " << c.group;
  }

  // Stored bytes xor the key give the image bytes back.
  l.body = PatternBytes(4112);
  const FirmwareFileResult s = ParseFirmwareFile(Craft(l));
  ASSERT_TRUE(s.valid) << s.reason;
  EXPECT_EQ(s.image[4 * 5 + 1], l.body[4 * 5 + 1] ^ T(21));  // group 5: w = 10, odd bytes take T[21]
  EXPECT_EQ(s.image[4 * 900 + 2], l.body[4 * 900 + 2]);      // beyond the table: stored as is
}

TEST(FirmwareFile, BlockCountFollowsTheEndValue) {
  struct Case {
    uint32_t end;
    int64_t blocks;
  };
  // Truncating division as the host does it: 4095 still gives one block, 3072 none.
  const Case cases[] = {{4096, 1}, {5119, 1}, {5120, 2}, {4096 + 1024 * 63, 64},
                        {4095, 1}, {3072, 0}, {0, -3},   {4096 + 1024 * 64, 65}};
  for (const Case& c : cases) EXPECT_EQ(FirmwareBlockCount(c.end), c.blocks) << c.end;

  // 64 blocks need E above 16 bits and a body of 128 KiB: both high halves are used.
  Layout l;
  l.end = 4096 + 1024 * 63;
  l.length = 64 * 2048;
  const FirmwareFileResult r = ParseFirmwareFile(Craft(l));
  ASSERT_TRUE(r.valid) << r.reason;
  EXPECT_EQ(r.endValue, 68608u);
  EXPECT_EQ(r.blockCount(), 64);
  EXPECT_EQ(r.image.size(), 64u * 2048);

  // Not sendable: no block, more blocks than a packet can number, more blocks than the body holds.
  struct Bad {
    uint32_t end;
    uint32_t length;
  };
  const Bad bad[] = {{3072, 2048}, {4096 + 1024 * 64, 65 * 2048}, {4096 + 1024, 2048}, {4096, 2032}};
  for (const Bad& b : bad) {
    l.end = b.end;
    l.length = b.length;
    const FirmwareFileResult x = ParseFirmwareFile(Craft(l));
    EXPECT_FALSE(x.valid) << b.end << " " << b.length;
    EXPECT_NE(x.reason, "");
  }
}

TEST(FirmwareFile, VersionField) {
  struct Case {
    std::string field;
    std::string version;
  };
  const Case cases[] = {
      {"V1.10", "V1.10"}, {"V2.0.1234", "V2.0.123"},  // eight bytes, no padding
      {"v1.10", ""},      {"X1.10", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    Layout l;
    l.version = c.field;
    const FirmwareFileResult r = ParseFirmwareFile(Craft(l));
    EXPECT_TRUE(r.valid) << c.field << ": " << r.reason;
    EXPECT_EQ(r.version, c.version) << c.field;
  }
}

TEST(FirmwareFile, WrittenFileReadsBackAsThePackedImage) {
  TempDir dir;
  RandomSource random(7);
  struct Case {
    size_t size;
    int blocks;
  };
  const Case cases[] = {{1, 1}, {3, 1}, {1536, 1}, {1537, 2}, {5000, 4}, {64 * 1536, 64}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> raw = PatternBytes(c.size, static_cast<uint32_t>(c.size));
    const auto path = dir / "TarvelIMOT.FWR";
    WriteFirmwareFile(path, raw, "V1.10", random);
    const FirmwareFileResult r = ReadFirmwareFile(path);
    ASSERT_TRUE(r.valid) << c.size << ": " << r.reason;
    EXPECT_EQ(r.version, "V1.10");
    EXPECT_EQ(r.blockCount(), c.blocks) << c.size;
    EXPECT_EQ(r.image, PackFirmwareImage(raw)) << c.size;
    ASSERT_EQ(r.image.size(), static_cast<size_t>(c.blocks) * 2048) << c.size;
    // Three firmware bytes and a zero per group, zeros after the firmware.
    for (size_t i = 0; i < r.image.size(); ++i) {
      const size_t data = i / 4 * 3 + i % 4;
      const uint8_t want = i % 4 == 3 || data >= raw.size() ? 0 : raw[data];
      ASSERT_EQ(r.image[i], want) << c.size << " at " << i;
    }
  }

  // The key table and key word are random: two files of one image differ but read the same.
  const std::vector<uint8_t> raw = PatternBytes(3000);
  const std::vector<uint8_t> a = BuildFirmwareFile(raw, "V9", random);
  const std::vector<uint8_t> b = BuildFirmwareFile(raw, "V9", random);
  EXPECT_NE(a, b);
  EXPECT_EQ(ParseFirmwareFile(a).image, ParseFirmwareFile(b).image);
}

TEST(FirmwareFile, WriterRejectsBadVersionsAndImages) {
  RandomSource random(1);
  const std::vector<uint8_t> raw = PatternBytes(100);
  for (const char* version : {"", "1.10", "v1.10", "V1.10.100"}) {
    EXPECT_THROW(BuildFirmwareFile(raw, version, random), std::invalid_argument) << version;
  }
  EXPECT_THROW(BuildFirmwareFile(raw, std::string("V1\0", 3), random), std::invalid_argument);
  EXPECT_NO_THROW(BuildFirmwareFile(raw, "V1234567", random));
  EXPECT_THROW(BuildFirmwareFile({}, "V1", random), std::invalid_argument);
  EXPECT_THROW(BuildFirmwareFile(PatternBytes(64 * 1536 + 1), "V1", random), std::invalid_argument);
}

TEST(FirmwareFile, AnyOneByteChangeOrCutMakesTheFileInvalid) {
  RandomSource random(3);
  const std::vector<uint8_t> good = BuildFirmwareFile(PatternBytes(1000), "V1.10", random);
  ASSERT_TRUE(ParseFirmwareFile(good).valid);
  for (size_t i = 0; i < good.size(); ++i) {
    std::vector<uint8_t> f = good;
    f[i] ^= static_cast<uint8_t>(1u << (i % 8));
    const FirmwareFileResult r = ParseFirmwareFile(f);
    ASSERT_FALSE(r.valid) << "change at " << i;
    ASSERT_TRUE(r.image.empty() && r.version.empty());
  }
  // Every shorter file, and one byte more.
  for (size_t n = 0; n < good.size(); ++n) {
    ASSERT_FALSE(ParseFirmwareFile(std::span(good).first(n)).valid) << "cut to " << n;
  }
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(ParseFirmwareFile(longer).valid);
}

TEST(FirmwareFile, CraftedHeadersAreRejectedWithAReason) {
  RandomSource random(5);
  const std::vector<uint8_t> good = BuildFirmwareFile(PatternBytes(1000), "V1.10", random);
  struct Case {
    const char* what;
    size_t offset;
    uint16_t value;
    const char* reason;  // a part of the reason text
  };
  // Each file is resealed, so only the header word is wrong.
  const Case cases[] = {
      {"body length near 4 GiB", 21, 0xFFFF, "ends after"},
      {"body past the end", 23, 2048 + 16, "ends after"},
      {"body shorter than the file", 23, 2048 - 16, "after its check value"},
      {"end value high half", 19, 0x0001, "blocks"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> f = good;
    PatchWord(f, c.offset, c.value);
    const FirmwareFileResult r = ParseFirmwareFile(f);
    EXPECT_FALSE(r.valid) << c.what;
    EXPECT_NE(r.reason.find(c.reason), std::string::npos) << c.what << ": " << r.reason;
  }

  // The marker in clear text is not the marker.
  std::vector<uint8_t> plain = good;
  std::copy_n("TvlFmWr", 7, plain.begin());
  Reseal(plain);
  EXPECT_NE(ParseFirmwareFile(plain).reason.find("marker"), std::string::npos);

  std::vector<uint8_t> wrongSum = good;
  wrongSum.back() ^= 0x80;
  EXPECT_NE(ParseFirmwareFile(wrongSum).reason.find("check value"), std::string::npos);

  EXPECT_NE(ParseFirmwareFile({}).reason.find("too short"), std::string::npos);
}

TEST(FirmwareFile, MissingFileIsAFileError) {
  TempDir dir;
  EXPECT_THROW(ReadFirmwareFile(dir / "TarvelIMOT.FWR"), FileError);
}

TEST(FirmwareFile, MkfwrTool) {
  TempDir dir;
  const std::string tool = TARVEL_MKFWR;
  const std::vector<uint8_t> raw = PatternBytes(4000);
  const auto image = dir.Write("unit.bin", raw);
  const auto out = dir / "TarvelIMOT.FWR";
  std::string output;
  ASSERT_EQ(testing::RunCommand(tool + " " + image.string() + " V2.01 " + out.string(), &output), 0)
      << output;
  EXPECT_NE(output.find("3 blocks"), std::string::npos) << output;
  const FirmwareFileResult r = ReadFirmwareFile(out);
  ASSERT_TRUE(r.valid) << r.reason;
  EXPECT_EQ(r.version, "V2.01");
  EXPECT_EQ(r.image, PackFirmwareImage(raw));

  // Bad input: exit status 2, a message, and the output left as it was.
  const auto before = testing::ReadBytes(out);
  const auto empty = dir.Write("empty.bin", std::string());
  struct Case {
    std::string args;
    const char* message;
  };
  const Case cases[] = {
      {"", "usage"},
      {image.string() + " V2.01", "usage"},
      {image.string() + " 2.01 " + out.string(), "'V'"},
      {image.string() + " V2.01.123 " + out.string(), "8 characters"},
      {(dir / "none.bin").string() + " V2.01 " + out.string(), "none.bin"},
      {empty.string() + " V2.01 " + out.string(), "empty"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(testing::RunCommand(tool + " " + c.args, &output), 2) << c.args;
    EXPECT_NE(output.find(c.message), std::string::npos) << c.args << ": " << output;
  }
  EXPECT_EQ(testing::ReadBytes(out), before);
}

}  // namespace
}  // namespace tarvel
