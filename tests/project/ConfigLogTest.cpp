#include "project/ConfigLog.h"

#include <gtest/gtest.h>

#include "base/GbkText.h"
#include "base/ScriptedDialogService.h"
#include "support/TestFiles.h"

namespace tarvel {
namespace {

using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

std::string GbkLines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& l : lines) out += Utf8ToGbk(l) + "\r\n";
  return out;
}

InfoLog LogOf(int lines) {
  InfoLog log([] { return std::string("12:00:00"); });
  for (int i = 0; i < lines; ++i) log.MainMessage("第" + std::to_string(i) + "行");
  return log;
}

TEST(ConfigLog, SettingsFileRoundTripAndRules) {
  TempDir dir;
  ScriptedDialogService dialogs;
  TLogCfgForm form(dialogs, dir.path());
  form.ReadLogSettings();  // no file: defaults
  EXPECT_TRUE(form.CheckBoxLog.checked);
  EXPECT_EQ(form.RadioGrpCreat.itemIndex, 0);

  form.setControl("RadioGrpCreat", "1");
  form.setControl("RadioGrpMod", "2");
  form.setControl("EditLogName", (dir / "客户.log").string());
  form.OkClick();
  EXPECT_TRUE(form.accepted);
  form.WriteLogSettings();  // as the dialog closes
  EXPECT_EQ(ReadText(dir / "GenLogX.cfg"),
            "[ConfigLog]\r\nEnLog\r\nCustomer\r\nCusDef2\r\nSpcFile=" + Utf8ToGbk((dir / "客户.log").string()) +
                "\r\n[EndCfg]\r\n");

  TLogCfgForm again(dialogs, dir.path());
  again.ReadLogSettings();
  EXPECT_EQ(again.RadioGrpCreat.itemIndex, 1);
  EXPECT_EQ(again.RadioGrpMod.itemIndex, 2);
  EXPECT_EQ(again.EditLogName.text, (dir / "客户.log").string());
  EXPECT_TRUE(again.EditLogName.enabled);

  WriteText(dir / "GenLogX.cfg", "[Other]\nDnLog\nCustomer\n");
  TLogCfgForm ignored(dialogs, dir.path());
  ignored.ReadLogSettings();
  EXPECT_TRUE(ignored.CheckBoxLog.checked) << "a file not starting with [ConfigLog] changes nothing";
  EXPECT_EQ(ignored.RadioGrpCreat.itemIndex, 0);

  TLogCfgForm empty(dialogs, dir.path());
  empty.setControl("RadioGrpCreat", "1");
  empty.setControl("EditLogName", "");
  empty.OkClick();
  EXPECT_FALSE(empty.accepted);
  EXPECT_EQ(dialogs.boxTexts().back(), "请输入有效的Log文件名称！");
}

// Texts from outside the program never cost the settings or the log: what GBK cannot hold becomes '?'.
TEST(ConfigLog, TextsThatAreNotGbkAreReadAndWrittenWithQuestionMarks) {
  TempDir dir;
  ScriptedDialogService dialogs;
  // A hand-edited name: 0x81 starts a two-byte character that the line ends before.
  WriteText(dir / "GenLogX.cfg", "[ConfigLog]\r\nCustomer\r\nSpcFile=/tmp/a\x81\r\n[EndCfg]\r\n");
  TLogCfgForm form(dialogs, dir.path());
  form.ReadLogSettings();
  EXPECT_EQ(form.RadioGrpCreat.itemIndex, 1);
  EXPECT_EQ(form.EditLogName.text, "/tmp/a?");

  InfoLog log([] { return std::string("12:00:00"); });
  log.MainMessage("File \"/tmp/✓.hex\" has been loaded!");  // U+2713 has no GBK code
  log.MainMessage("第2行");
  form.setControl("EditLogName", (dir / "exit.log").string());
  form.WriteLog(log, 1765440000);
  EXPECT_TRUE(dialogs.boxes().empty());
  EXPECT_EQ(ReadText(dir / "exit.log"), GbkLines({"> 12:00:00 File \"/tmp/?.hex\" has been loaded!", "> 12:00:00 第2行"}));
}

TEST(ConfigLog, DialogEnablesFollowTheChoices) {
  TempDir dir;
  ScriptedDialogService dialogs;
  TLogCfgForm form(dialogs, dir.path());
  form.setControl("RadioGrpCreat", "1");
  EXPECT_TRUE(form.EditLogName.enabled);
  form.setControl("RadioGrpMod", "2");
  form.setControl("RadioGrpCreat", "0");
  EXPECT_FALSE(form.EditLogName.enabled);
  EXPECT_EQ(form.RadioGrpMod.itemIndex, 0);
  form.setControl("CheckBoxLog", "0");
  EXPECT_FALSE(form.RadioGrpCreat.enabled);
  dialogs.answerFile("/x/y.log");
  form.SpeedButtonOPClick();
  EXPECT_EQ(form.EditLogName.text, "/x/y.log");
}

TEST(ConfigLog, WritingTheLogAtExit) {
  TempDir dir;
  ScriptedDialogService dialogs;
  TLogCfgForm form(dialogs, dir.path());
  const std::time_t now = 1765440000;  // fixed instant
  form.WriteLog(LogOf(6), now);
  EXPECT_FALSE(std::filesystem::exists(form.SystemLogPath(now))) << "six lines or fewer: no log";
  form.WriteLog(LogOf(7), now);
  const auto sys = form.SystemLogPath(now);
  ASSERT_TRUE(std::filesystem::exists(sys));
  EXPECT_EQ(sys.parent_path(), dir.path() / "GenZPNxLogS");
  const std::string name = sys.filename().string();
  EXPECT_EQ(name.substr(0, 7), "GenZPN_");
  EXPECT_EQ(name.find_first_not_of("GenZPN_0123456789"), name.size() - 4) << name;
  EXPECT_EQ(ReadText(sys).substr(0, 2), "> ");
  EXPECT_NE(ReadText(sys).find("\r\n"), std::string::npos);

  // Customer file, append mode: a new file starts with its header line, an existing one just grows.
  const auto custom = dir / "line3.log";
  form.setControl("RadioGrpCreat", "1");
  form.setControl("EditLogName", custom.string());
  form.setControl("RadioGrpMod", "2");
  form.WriteLog(LogOf(1), now);
  form.WriteLog(LogOf(2), now);
  EXPECT_EQ(ReadText(custom), "Dunmor Log File!\r\n" + GbkLines({"> 12:00:00 第0行", "> 12:00:00 第0行",
                                                                  "> 12:00:00 第1行"}));
  form.setControl("RadioGrpMod", "1");
  form.WriteLog(LogOf(1), now);
  EXPECT_EQ(ReadText(custom), GbkLines({"> 12:00:00 第0行"}));

  // An unwritable customer file is reported, not lost silently; a disabled log writes nothing.
  form.setControl("EditLogName", (dir / "no" / "such" / "dir.log").string());
  form.WriteLog(LogOf(1), now);
  EXPECT_EQ(dialogs.boxTexts().back(), "Write Log File error!");
  form.setControl("CheckBoxLog", "0");
  form.setControl("EditLogName", (dir / "off.log").string());
  form.WriteLog(LogOf(9), now);
  EXPECT_FALSE(std::filesystem::exists(dir / "off.log"));
}

}  // namespace
}  // namespace tarvel
