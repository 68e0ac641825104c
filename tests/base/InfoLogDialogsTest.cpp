#include <gtest/gtest.h>

#include "base/InfoLog.h"
#include "base/ScriptedDialogService.h"

namespace tarvel {
namespace {

TEST(InfoLog, LineFormats) {
  InfoLog log([] { return std::string("09:05:01"); });
  std::vector<std::string> mirrored;
  log.setListener([&](const std::string& l) { mirrored.push_back(l); });
  log.MainMessage("Chip \"IMD111T-6F040\" has been selected!");
  log.ChannelMessage("找到设备：Tarvel200IMOT V1.10!", 0);
  log.ChannelMessage("x", 9);
  log.Line();
  log.Line("  0x00 : FF");
  const std::vector<std::string> expected = {
      "> 09:05:01 Chip \"IMD111T-6F040\" has been selected!",
      "> 09:05:01 C1 : 找到设备：Tarvel200IMOT V1.10!",
      "> 09:05:01 C10 : x",
      "",
      "  0x00 : FF",
  };
  EXPECT_EQ(log.lines(), expected);
  EXPECT_EQ(mirrored, expected);
  EXPECT_EQ(log.Text("\r\n").size(), log.Text().size() + expected.size());
  log.Clear();
  EXPECT_EQ(log.size(), 0u);
  EXPECT_EQ(LocalTimeText().size(), 8u);
}

struct OffsetForm : ModalDialog {
  std::string edit;
  std::string accepted;
  bool shown = false;
  std::string_view formName() const override { return "TFormOfsAddr"; }
  void FormShow() override {
    shown = true;
    edit = "0x00000000";
  }
  bool setControl(std::string_view control, std::string_view value) override {
    if (control != "EditOfsAddr") return false;
    edit = value;
    return true;
  }
  void OkClick() override { accepted = edit; }
};

TEST(ScriptedDialogService, AnswersInOrderAndRecordsEverything) {
  ScriptedDialogService d;
  d.answerBox(Button::Abort);
  d.answerBox(Button::Yes);  // not offered by the next box: its default button answers
  EXPECT_EQ(d.box(BoxKind::Error, "Line 3 Data Error : 1.", {Button::OK, Button::Abort}), Button::Abort);
  EXPECT_EQ(d.information("Data Out of chip address!"), Button::OK);
  EXPECT_EQ(d.warning("w"), Button::OK);
  EXPECT_EQ(d.boxTexts(), (std::vector<std::string>{"Line 3 Data Error : 1.", "Data Out of chip address!", "w"}));
  EXPECT_EQ(d.boxes()[0].kind, BoxKind::Error);

  EXPECT_FALSE(d.fileDialog({}));
  d.answerFile("/tmp/a.hex", 2);
  EXPECT_EQ(d.fileDialog({})->filterIndex, 2);

  OffsetForm form;
  EXPECT_EQ(d.showModal(form), Button::OK);  // unscripted: OK without changes
  EXPECT_EQ(form.accepted, "0x00000000");
  d.answerModal({{{"EditOfsAddr", "0x1000"}}, Button::OK});
  d.answerModal({{{"EditOfsAddr", "0x2000"}}, Button::Cancel});
  EXPECT_EQ(d.showModal(form), Button::OK);
  EXPECT_EQ(form.accepted, "0x1000");
  EXPECT_EQ(d.showModal(form), Button::Cancel);
  EXPECT_EQ(form.accepted, "0x1000");
  d.answerModal({{{"NoSuchControl", "1"}}, Button::OK});
  EXPECT_THROW(d.showModal(form), std::invalid_argument);
  EXPECT_EQ(d.modalForms().size(), 4u);
  EXPECT_EQ(ButtonFromName("Abort"), Button::Abort);
  EXPECT_FALSE(ButtonFromName("abort"));
}

}  // namespace
}  // namespace tarvel
