#include "base/GbkText.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

TEST(GbkText, ConvertsBothWays) {
  struct Case {
    std::string utf8;
    std::string gbk;
  };
  const Case cases[] = {
      {"", ""},
      {"Download Success\r\n", "Download Success\r\n"},
      {"芯片", "\xD0\xBE\xC6\xAC"},
      {"€", "\x80"},  // code page 936 has the euro sign
      {"命令执行操作超时！", "\xC3\xFC\xC1\xEE\xD6\xB4\xD0\xD0\xB2\xD9\xD7\xF7\xB3\xAC\xCA\xB1\xA3\xA1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.utf8;
  }
}

TEST(GbkText, LongTextsConvertWhole) {
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "芯片A";
  EXPECT_EQ(GbkToUtf8(Utf8ToGbk(utf8)), utf8);
  EXPECT_EQ(Utf8ToGbk(utf8).size(), 5000u * 5);
}

TEST(GbkText, UnconvertibleTextIsReportedWithItsOffset) {
  try {
    Utf8ToGbk("ok \xF0\x9F\x98\x80");  // an emoji has no GBK code
    FAIL() << "no error";
  } catch (const TextConversionError& e) {
    EXPECT_EQ(e.offset(), 3u);
  }
  EXPECT_THROW(Utf8ToGbk("bad \xC3"), TextConversionError);       // cut UTF-8 sequence
  EXPECT_THROW(GbkToUtf8("cut \xD0"), TextConversionError);       // lead byte without its trail
  EXPECT_THROW(GbkToUtf8("\xFF\xFF"), TextConversionError);       // not a GBK code
}

TEST(GbkText, LenientFormsReplaceWhatCannotConvertAndGoOn) {
  struct Case {
    bool toGbk;
    std::string in;
    std::string out;
    bool replaced;
  };
  const Case cases[] = {
      {true, "plain 芯片", "plain \xD0\xBE\xC6\xAC", false},
      {true, "ok \xF0\x9F\x98\x80 \xE2\x9C\x93!", "ok ? ?!", true},  // each character one '?'
      {true, "bad \xC3", "bad ?", true},
      {false, "\xD0\xBE\xC6\xAC", "芯片", false},
      {false, "a\xFF\xFF" "b", "a??b", true},
      {false, "cut \xD0", "cut ?", true},
  };
  for (const Case& c : cases) {
    bool replaced = false;
    EXPECT_EQ(c.toGbk ? Utf8ToGbkReplacing(c.in, &replaced) : GbkToUtf8Replacing(c.in, &replaced), c.out) << c.in;
    EXPECT_EQ(replaced, c.replaced) << c.in;
  }
}

}  // namespace
}  // namespace tarvel
