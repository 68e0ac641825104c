#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "base/ScriptedDialogService.h"
#include "image/IntelHex.h"
#include "image/SRecord.h"

namespace tarvel {
namespace {

// Flash 0x0000..0xFFFF, option 0x1000000..0x10000FF, EEP 0x2000000..0x20003FF.
struct Fixture {
  std::unique_ptr<MemoryImage> image = std::make_unique<MemoryImage>();
  ScriptedDialogService dialogs;
  RecordReaderState state;
  RecordTarget target;
  Fixture() {
    image->Clear(0xEE);
    image->OptionData.fill(0xEE);
    target = RecordTarget{image->FlashImage, 0, {0, 0xFFFF, 0x1000000, 0x10000FF, 0x2000000, 0x20003FF}, image.get()};
  }
  int hex(std::string_view line) { return ParseHexLine(line, state, target, dialogs); }
  int srec(std::string_view line) { return ParseSRecordLine(line, state, target, dialogs); }
};

TEST(HexLine, ResultCodesAndStorage) {
  struct Case {
    const char* line;
    int result;
    const char* what;
  };
  const Case cases[] = {
      {":0400100001020304E2", 0, "data record"},
      {"04001000010203E2", 1, "no colon"},
      {":02000104000DEB", 3, "extended address with a nonzero address field"},
      {":0400100001020304E3", 4, "bad checksum, stored anyway"},
      {":0400100006070809CE", 0, "06.. as data is fine"},
      {":0100000600F9", 5, "record type 06"},
      {":00000006FA", 0, "count 0 is ignored whatever the type"},
      {":04001000010203", 6, "line cut before its data ends"},
      {":0400", 6, "line cut inside the header"},
      {":0200000400", 6, "extended record without its value"},
      {":00000001FF", 0, "end record (count 0)"},
      {":0400000503000000F4", 0, "start address record ignored"},
      {"", 1, "empty line"},
      {":", 6, "colon alone"},
  };
  for (const Case& c : cases) {
    Fixture f;
    EXPECT_EQ(f.hex(c.line), c.result) << c.what;
  }
  Fixture f;
  f.hex(":0400100001020304E3");
  EXPECT_EQ(f.image->FlashImage[0x10], 1);
  EXPECT_EQ(f.image->FlashImage[0x13], 4);
  EXPECT_EQ(f.state.result.sum, 10u);
  EXPECT_EQ(f.state.result.lowest, 0x10u);
  EXPECT_EQ(f.state.result.highest, 0x13u);
  f.hex(":040014");  // truncated: nothing stored
  EXPECT_EQ(f.image->FlashImage[0x14], 0xEE);
}

TEST(HexLine, BasesAddAndRoutingFollowsTheFirstByte) {
  Fixture f;
  // Linear base 0x0100 then segment base 0x0000: data at 0x1000000 goes to the option window.
  EXPECT_EQ(f.hex(":020000040100F9"), 0);
  EXPECT_EQ(f.hex(":020000020010EC"), 0);  // segment 0x10 * 16 = 0x100, added to the linear base
  EXPECT_EQ(f.state.linearBase, 0x1000000u);
  EXPECT_EQ(f.state.segmentBase, 0x100u);
  EXPECT_EQ(f.hex(":0200000011227B"), 21);  // 0x1000100: past the option window (0x10000FF)
  EXPECT_EQ(f.dialogs.boxTexts().back(), "Unsupport Address=0x01000100.");
  EXPECT_EQ(f.hex(":020000020000FC"), 0);
  EXPECT_EQ(f.hex(":02000F00ABCD77"), 0);
  EXPECT_EQ(f.image->OptionData[0x0F], 0xAB);
  EXPECT_TRUE(f.image->OptionDataPresent);
  EXPECT_FALSE(f.image->EepDataPresent);
  EXPECT_EQ(f.state.result.sum, 0xABu + 0xCD);
  EXPECT_EQ(f.state.result.lowest, 0xFFFFFFFFu) << "only flash records count for the address range";

  EXPECT_EQ(f.hex(":020000040200F8"), 0);
  EXPECT_EQ(f.hex(":020000020000FC"), 0);
  EXPECT_EQ(f.hex(":0103FF0055A8"), 0);
  EXPECT_EQ(f.image->EepImage[0x3FF], 0x55);
  EXPECT_EQ(f.hex(":020400001122C7"), 21);  // 0x2000400: past the EEP window
}

TEST(HexLine, AnExtendedRecordWithABadChecksumStillSetsItsBase) {
  Fixture f;
  EXPECT_EQ(f.hex(":020000040100FA"), 4);
  EXPECT_EQ(f.state.linearBase, 0x1000000u);
  EXPECT_TRUE(f.dialogs.boxes().empty());
}

TEST(HexLine, NoWindowStays21EvenWithABadChecksum) {
  Fixture f;
  f.hex(":020000040300F7");
  EXPECT_EQ(f.hex(":0100000000FF"), 21);  // the checksum byte is wrong too
  EXPECT_EQ(f.state.result.sum, 0u) << "bytes in no window are not summed";
}

TEST(HexLine, RecordsPastTheBufferAreDropped) {
  Fixture f;
  f.target.windows.FlashEnd = 0xFFFFFFFF;  // a window far larger than the image
  f.hex(":020000047FFF7C");
  EXPECT_EQ(f.hex(":10FFF800000102030405060708090A0B0C0D0E0F81"), 0);
  EXPECT_EQ(f.state.result.highest, 0x7FFFFFF8u + 15);
  EXPECT_EQ(f.image->FlashImage.back(), 0xEE);
}

// The address range a read reports ends at 0xFFFFFFFF, never wraps to the bottom, however far a record
// claims to run past the last address.
TEST(RecordLines, ARecordRunningPastTheLastAddressEndsTheRangeThere) {
  Fixture h;
  h.target.windows.FlashEnd = 0xFFFFFFFF;
  EXPECT_EQ(h.hex(":02000004FFFFFC"), 0);
  EXPECT_EQ(h.hex(":04FFFE0001020304F5"), 0);
  EXPECT_EQ(h.state.result.lowest, 0xFFFFFFFEu);
  EXPECT_EQ(h.state.result.highest, 0xFFFFFFFFu);

  Fixture s;
  EXPECT_EQ(s.srec("S309FFFFFFFE01020304E9"), 21);  // in no window, but part of the range
  EXPECT_EQ(s.state.result.lowest, 0xFFFFFFFEu);
  EXPECT_EQ(s.state.result.highest, 0xFFFFFFFFu);
}

TEST(HexFile, EndLinesLineErrorsAndAbort) {
  Fixture f;
  // A lower-case end line is not an end line: the file is read to its physical end.
  auto r = ReadHexText(":0100000011EE\r\n:00000001ff\n\n:0100010022DC\n", f.target, f.dialogs);
  EXPECT_EQ(f.image->FlashImage[1], 0x22);
  EXPECT_EQ(r.sum, 0x33u);
  EXPECT_TRUE(f.dialogs.boxes().empty());

  Fixture g;
  ReadHexText(":0100000011EE\n:00000001FF\n:0100010022DC\n", g.target, g.dialogs);
  EXPECT_EQ(g.image->FlashImage[1], 0xEE) << "the read ends at the exact end line";

  Fixture h;
  h.dialogs.answerBox(Button::OK);
  h.dialogs.answerBox(Button::OK);
  h.dialogs.answerBox(Button::Abort);
  r = ReadHexText("\n:01000000\nXYZ\n:0100020033CA\nXX\n#garbage\n:0100030044B8\n", h.target, h.dialogs);
  EXPECT_EQ(h.dialogs.boxTexts(), (std::vector<std::string>{"Line 2 Data Error : 6.", "Line 3 Data Error : 1.",
                                                             "Line 6 Data Error : 1."}));
  EXPECT_EQ(h.dialogs.boxes()[0].buttons, (std::vector<Button>{Button::OK, Button::Abort}));
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(h.image->FlashImage[2], 0x33) << "what was read before Abort stays";
  EXPECT_EQ(h.image->FlashImage[3], 0xEE);
}

TEST(SRecordLine, ResultCodesAndStorage) {
  struct Case {
    const char* line;
    int result;
    const char* what;
  };
  const Case cases[] = {
      {"S107001001020304DE", 0, "S1"},
      {"S20800001001020304DD", 0, "S2"},
      {"S3090000001001020304DC", 0, "S3"},
      {"S107001001020304DF", 4, "bad checksum"},
      {"S00600004844521B", 0, "header"},
      {"S5030001FB", 0, "count"},
      {"S9030000FC", 0, "termination"},
      {"S40300", 2, "S4"},
      {"S6030000", 2, "S6"},
      {"SX030000", 2, "type not a digit"},
      {"X107001001020304DE", 1, "no S"},
      {"S1020010", 6, "count smaller than the address"},
      {"S10700100102", 6, "line cut before its data ends"},
      {"", 1, "empty line"},
      {"S", 6, "S alone, no type"},
      {"S1", 6, "S1 without its count"},
  };
  for (const Case& c : cases) {
    Fixture f;
    EXPECT_EQ(f.srec(c.line), c.result) << c.what;
  }
  Fixture f;
  f.srec("S107001001020304DE");
  EXPECT_EQ(f.image->FlashImage[0x13], 4);
  EXPECT_EQ(f.state.result.lowest, 0x10u);
  EXPECT_EQ(f.state.result.highest, 0x13u);
}

TEST(SRecordLine, DataInNoWindowCountsButIsNotStored) {
  Fixture f;
  // S3 at 0x03000000, outside every window, with a correct checksum.
  EXPECT_EQ(f.srec("S30703000000AABB90"), 21);
  EXPECT_EQ(f.dialogs.boxTexts(), std::vector<std::string>{"Unsupport Address=0x03000000."});
  EXPECT_EQ(f.state.result.sum, 0xAAu + 0xBB);
  EXPECT_EQ(f.state.result.lowest, 0x03000000u);
  // A file of S5 and S9 lines loads and reports nothing.
  Fixture g;
  const auto r = ReadSRecordText("S5030001FB\r\nS9030000FC\r\n", g.target, g.dialogs);
  EXPECT_EQ(r.sum, 0u);
  EXPECT_EQ(r.lowest, 0xFFFFFFFFu);
  EXPECT_TRUE(g.dialogs.boxes().empty());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t eol = text.find("\r\n", pos);
    lines.push_back(text.substr(pos, eol - pos));
    pos = eol + 2;
  }
  return lines;
}

TEST(HexWriter, SixteenAndThirtyTwoBitForms) {
  std::vector<uint8_t> buf(0x20000);
  for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i);

  auto small = Lines(HexText(buf, 0, 0, 0xFF));
  ASSERT_EQ(small.size(), 17u);
  EXPECT_EQ(small[0], ":10000000000102030405060708090A0B0C0D0E0F78");
  EXPECT_EQ(small[16], ":00000001FF");

  auto odd = Lines(HexText(buf, 0, 0x10, 0x22));
  EXPECT_EQ(odd[1], ":030020002021227A");

  auto big = Lines(HexText(buf, 0, 0, 0x1FFFF));
  ASSERT_EQ(big.size(), 1u + 2048 + 1 + 2048 + 1);
  EXPECT_EQ(big[0], ":020000040000FA");
  EXPECT_EQ(big[1].substr(0, 9), ":20000000");
  EXPECT_EQ(big[2048].substr(0, 9), ":20FFE000");
  EXPECT_EQ(big[2049], ":020000040001F9");
  EXPECT_EQ(big[2050].substr(0, 9), ":20000000");
  EXPECT_EQ(big[4097].substr(0, 9), ":20FFE000") << "no extended address record after the last byte";
  EXPECT_EQ(big[4098], ":00000001FF");

  // A window that starts mid-page and crosses 64 KB: the record before the boundary is cut short.
  auto cross = Lines(HexText(buf, 0, 0xFFF0, 0x1000F));
  EXPECT_EQ(cross[1].substr(0, 9), ":10FFF000");
  EXPECT_EQ(cross[2], ":020000040001F9");
  EXPECT_EQ(cross[3].substr(0, 9), ":10000000");
}

TEST(SRecordWriter, RecordTypeFollowsTheLastAddress) {
  std::vector<uint8_t> buf(64, 0x11);
  auto s1 = Lines(SRecordText(buf, 0, 0, 32));
  ASSERT_EQ(s1.size(), 3u);
  EXPECT_EQ(s1[0].substr(0, 8), "S1230000");
  EXPECT_EQ(s1[1], "S1040020" "11" "CA");
  EXPECT_EQ(s1[2], "S9030000FC");

  auto s2 = Lines(SRecordText(buf, 0x10000, 0x10000, 0x1003F));
  EXPECT_EQ(s2[0].substr(0, 10), "S224010000");
  EXPECT_EQ(s2.back(), "S804000000FB");

  // A window at 0x18000000 is written from image index 0.
  auto s3 = Lines(SRecordText(buf, 0x18000000, 0x18000000, 0x1800003F));
  EXPECT_EQ(s3[0].substr(0, 12), "S32518000000");
  EXPECT_EQ(s3[0].substr(12, 4), "1111");
  EXPECT_EQ(s3.back(), "S70500000000FA");
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// Junk of every shape, under the sanitizers: nothing may read or write outside a line or a buffer.
TEST(RecordFiles, JunkNeverEscapesItsBuffers) {
  std::mt19937 rng(42);
  const std::string alphabet = ":S0123456789ABCDEFabcdefXYZ \t\r\xC0\xFF";
  std::string text;
  for (int line = 0; line < 4000; ++line) {
    const int len = static_cast<int>(rng() % 90);
    text += line % 2 ? ":" : "S";
    for (int i = 0; i < len; ++i) text += alphabet[rng() % alphabet.size()];
    text += '\n';
  }
  for (bool hex : {true, false}) {
    Fixture f;
    f.target.windows = {0, 0xFFFFFFFF, 0, 0, 0, 0};  // every address is "flash"
    f.target.base = 0;
    const RecordReadResult r = hex ? ReadHexText(text, f.target, f.dialogs) : ReadSRecordText(text, f.target, f.dialogs);
    EXPECT_FALSE(r.aborted);
    EXPECT_GT(f.dialogs.boxes().size(), 0u);
  }
}

}  // namespace
}  // namespace tarvel
