#include <gtest/gtest.h>

#include <array>

#include "chips/OptionFields.h"

namespace tarvel {
namespace {

constexpr std::string_view kTwo[] = {"off", "on"};
constexpr std::string_view kFour[] = {"a", "b", "c", "d", ""};

// Two fields sharing byte 0 and one at the top of byte 1.
constexpr BitField kLayout[] = {
    {"Low", "", 0, 0, 2, kFour},
    {"Flag", "", 0, 2, 1, kTwo},
    {"Top", "", 1, 6, 2, kFour},
};

class Form : public BitFieldForm {
 public:
  Form() : BitFieldForm("Form", kLayout, "Ok", "No") {}
  std::string_view formName() const override { return "Form"; }
  void OkClick() override {}
  void show(std::span<const uint8_t> b) { decodeLists(b); }
  void encode(std::span<uint8_t> b) const { encodeLists(b); }
  int changes = 0;

 protected:
  void ListChange(const BitField&) override { ++changes; }
};

TEST(OptionFields, DecodeAndEncodeTouchOnlyTheirBits) {
  Form f;
  const std::array<uint8_t, 2> in{0xFE, 0x80};  // Low 2, Flag 1, Top 2
  f.show(in);
  EXPECT_EQ(f.itemOf("Low"), 2);
  EXPECT_EQ(f.itemOf("Flag"), 1);
  EXPECT_EQ(f.itemOf("Top"), 2);
  EXPECT_EQ(f.list("Top")->text, "c");

  ASSERT_TRUE(f.setControl("Low", "1"));
  std::array<uint8_t, 2> out{0xF0, 0x3F};  // bits outside the fields keep their values
  f.encode(out);
  EXPECT_EQ(out[0], 0xF5);
  EXPECT_EQ(out[1], 0xBF);

  // A value wider than its field never reaches the neighbouring field.
  std::array<uint8_t, 1> b{0};
  EncodeField(kLayout[0], 4, b);
  EXPECT_EQ(b[0], 0x00);
}

TEST(OptionFields, ListsTakeAnIndexOrAnItemTextButNoEmptyItem) {
  Form f;
  EXPECT_TRUE(f.setControl("Low", "d"));
  EXPECT_EQ(f.itemOf("Low"), 3);
  EXPECT_TRUE(f.setControl("Low", "1"));
  EXPECT_EQ(f.itemOf("Low"), 1);
  for (const char* bad : {"4", "", "5", "-1", "x"}) EXPECT_FALSE(f.setControl("Low", bad)) << bad;
  EXPECT_EQ(f.itemOf("Low"), 1);
  EXPECT_FALSE(f.setControl("Missing", "0"));
  EXPECT_EQ(f.itemOf("Missing"), -1);
}

TEST(OptionFields, OnlyAChangedSelectionCountsAsAChange) {
  Form f;
  EXPECT_TRUE(f.setControl("Flag", "0"));
  EXPECT_EQ(f.changes, 0);
  EXPECT_TRUE(f.setControl("Flag", "1"));
  EXPECT_TRUE(f.setControl("Flag", "on"));
  EXPECT_EQ(f.changes, 1);
}

}  // namespace
}  // namespace tarvel
