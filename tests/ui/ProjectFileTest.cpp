// Whole set-ups saved to a project file and loaded again through the window's commands.
#include <gtest/gtest.h>

#include "base/Format.h"
#include "base/ManualEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "support/FakePorts.h"
#include "support/TestFiles.h"
#include "ui/GenMainZPN.h"

namespace tarvel {
namespace {

struct Win {
  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  testing::TempDir dir;
  TGenMFrmZPN w{loop, dialogs, dir.path(), [] { return std::string("05:00:00"); }, testing::FakePorts()};
  Win() { w.FormShow(); }
  bool has(const std::string& line) const {
    const auto& l = w.Log.lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
};

TEST(ProjectFile, ASetUpComesBackWhole) {
  testing::TempDir files;
  const auto project = files / "line.pmw";
  std::vector<uint8_t> image(32768);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13);
  {
    Win a;
    a.w.ConfirmChip(FindChipByName("SC95F750x")->chip);
    testing::WriteBytes(files / "fw.bin", image);
    a.dialogs.answerFile((files / "fw.bin").string());
    a.w.SpdBtnOpenClick();
    a.w.SetControl("ChkBoxAuto", "1");
    a.w.SetControl("SpinEditIn", "600");
    a.w.SetControl("RadioGpVolt", "1");
    a.w.SetControl("CheckBoxSN", "1");
    a.w.SetControl("SNEdit1", "0x00001234");
    a.w.SetControl("ChkBoxVDD", "0");
    a.dialogs.answerFile(project.string());
    a.w.SavetoProjectFile1Click();
    EXPECT_EQ(a.dialogs.boxTexts().back(), "Created Project File : " + project.string());
    EXPECT_EQ(a.dialogs.fileDialogs().back().defaultExt, "pmw");
  }
  Win b;
  b.dialogs.answerFile(project.string());
  b.w.LoadFromProjectFile1Click();
  EXPECT_EQ(b.dialogs.boxTexts().back(), "Project File Open Success!");
  EXPECT_TRUE(b.has("> 05:00:00 Project File Open Success!"));
  EXPECT_TRUE(b.w.ObjectFileLoaded);
  EXPECT_TRUE(b.w.Chip.ChipSelected);
  EXPECT_EQ(b.w.MCUNameEdit.text, "SC95F750x");
  EXPECT_EQ(b.w.lbFlashSize.text, "32 KB,EEP=6144B.") << "the family set-up ran for the project's chip";
  EXPECT_TRUE(std::equal(image.begin(), image.end(), b.w.Image->FlashImage.begin()));
  EXPECT_TRUE(b.w.ChkBoxAuto.checked);
  EXPECT_TRUE(b.w.SpinEditIn.enabled);
  EXPECT_EQ(b.w.SpinEditIn.value, 600);
  EXPECT_EQ(b.w.RadioGpVolt.itemIndex, 1);
  EXPECT_FALSE(b.w.ChkBoxVDD.checked);
  EXPECT_TRUE(b.w.CheckBoxSN.checked);
  EXPECT_EQ(b.w.SNEdit1.text, "0x00001234");
  EXPECT_EQ(b.w.ProductEdit.text, "fw.bin");
  EXPECT_EQ(b.w.StatusBar1[1].text, Format("芯片校验和：0x%0.4x", b.w.Image->FlashAcc16));
  EXPECT_EQ(b.w.Ops.settings.AutoDetect, 15) << "what the units get next";
  EXPECT_EQ(b.w.Chip.ImageOffset, 0u);
  EXPECT_EQ(b.w.Chip.EepEnd, 1023u + 6144);
}

TEST(ProjectFile, RefusalsAndBadFiles) {
  Win w;
  w.w.SavetoProjectFile1Click();
  EXPECT_EQ(w.dialogs.boxTexts().back(), "未选择芯片型号！");
  w.w.ConfirmChip(FindChipByName("SC95F750x")->chip);
  w.w.SavetoProjectFile1Click();
  EXPECT_EQ(w.dialogs.boxTexts().back(), "未加载目标文件！");
  testing::WriteText(w.dir / "bad.pmw", "Dunmo? not a project");
  w.dialogs.answerFile((w.dir / "bad.pmw").string());
  w.w.LoadFromProjectFile1Click();
  EXPECT_EQ(w.dialogs.boxTexts().back(), "Not Valid Dunmor Project File!");
  EXPECT_FALSE(w.w.ObjectFileLoaded) << "a failed load changes nothing";
  EXPECT_EQ(w.w.MCUNameEdit.text, "SC95F750x");
}

}  // namespace
}  // namespace tarvel
