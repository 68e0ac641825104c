#include "cli/Cli.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "support/ChildProcess.h"
#include "support/TestFiles.h"

namespace tarvel {
namespace {

struct CtlResult {
  int status;
  std::string out, err;
};

// Runs tarvelctl with a private program directory (its log file and settings stay out of the build tree).
CtlResult Ctl(std::vector<std::string> args) {
  static testing::TempDir programDir;
  std::ostringstream out, err;
  if (std::find(args.begin(), args.end(), "--dir") == args.end()) args.insert(args.begin(), {"--dir", programDir.path().string()});
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(Cli, ChipsJsonListsEveryEntryWithItsSettings) {
  const CtlResult r = Ctl({"chips", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto all = nlohmann::json::parse(r.out);
  ASSERT_EQ(all.size(), 346u);
  const auto& first = all[0];
  EXPECT_EQ(first["ChipName"], "Z51F0410HCX");
  EXPECT_EQ(first["List"], "");
  EXPECT_EQ(first["OptionData64"], std::string(128, '0'));
  EXPECT_EQ(first["SizeText"], "4 KB, No EEP.");
  const char* keys[] = {"VendorIndex", "List", "ListIndex", "ChipName", "ChipSelected", "InterfaceMode",
                        "DeviceAddress", "SettingsTag", "FamilyCode", "ChipSubtype", "FlashSizeKB", "FlashUnits",
                        "EepSize", "FlashStart", "FlashEnd", "EepStart", "EepEnd", "ControlFlags0",
                        "ControlFlags1", "ControlFlags2", "OperationMask", "ExtraFlags", "KfClass", "KfFlags",
                        "PageSize", "ChipId2", "OptionStart", "OptionEnd", "ConfigByte0", "ConfigByte1", "ChipId",
                        "EraseKey", "ProgTiming1", "ProgTiming2", "TopReservedWords", "ClockParam", "OldPassword",
                        "EepFileBase", "EepFileEnd", "ImageOffset", "ReadAddress", "BinOffset",
                        "BlankValueIsZero", "OptionData64", "SizeText"};
  for (const char* k : keys) EXPECT_TRUE(first.contains(k)) << k;

  // Every entry is derived from a fresh start, not from the entry before it.
  const auto& imd = all[345];
  EXPECT_EQ(imd["ChipName"], "IMD112T-6F040");
  EXPECT_EQ(imd["ListIndex"], 1);
  EXPECT_EQ(imd["OptionData64"], std::string(128, 'f'));
  EXPECT_EQ(imd["OptionStart"], 0x1FFFF800);
  EXPECT_EQ(imd["SizeText"], "256 KB, No EEP.");
}

TEST(Cli, ChipByNameOrByIndex) {
  const CtlResult byName = Ctl({"--json", "chip", "KF32A156MQW"});
  ASSERT_EQ(byName.status, 0) << byName.err;
  const auto j = nlohmann::json::parse(byName.out);
  EXPECT_EQ(j["FlashSizeKB"], 512);
  EXPECT_EQ(j["ChipId"], 0xE103);
  EXPECT_EQ(j["ControlFlags1"], 0x81);
  EXPECT_EQ(j["ChipSubtype"], 0x90);
  EXPECT_EQ(j["List"], "KF32xx");
  EXPECT_EQ(j["OptionData64"].get<std::string>().substr(0, 10), "5a5aa5a5ff");

  const CtlResult byIndex = Ctl({"chip", "5:KF32xx:" + std::to_string(j["ListIndex"].get<int>()), "--json"});
  ASSERT_EQ(byIndex.status, 0) << byIndex.err;
  EXPECT_EQ(byIndex.out, byName.out);

  // The second "KF8A100ENG" is reachable by index only.
  const CtlResult second = Ctl({"chip", "5:KF8xxx:7", "--json"});
  EXPECT_EQ(nlohmann::json::parse(second.out)["ListIndex"], 7);

  const CtlResult people = Ctl({"chip", "SC95F750x"});
  ASSERT_EQ(people.status, 0);
  EXPECT_NE(people.out.find("32 KB,EEP=6144B."), std::string::npos);
  EXPECT_NE(people.out.find("0x0000C92F"), std::string::npos) << people.out;
}

TEST(Cli, ChipsForPeopleIsOneLinePerEntry) {
  const CtlResult r = Ctl({"chips"});
  ASSERT_EQ(r.status, 0);
  const auto rows = std::count_if(r.out.begin(), r.out.end(), [](char c) { return c == '\n'; });
  EXPECT_GE(rows, 348);
  EXPECT_NE(r.out.find("V  List   Idx  Chip"), std::string::npos);
  EXPECT_NE(r.out.find("\n346 entries\n"), std::string::npos);
  EXPECT_NE(r.out.find("0x18000000-0x1807FFFF"), std::string::npos);
}

TEST(Cli, BadInputIsAUsageError) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"chip"},
      {"chip", "NOPE"},
      {"chip", "5::0"},
      {"chip", "1:KF8xxx:0"},
      {"chip", "8::2"},
      {"chip", "x::0"},
      {"chip", "9::0"},
      {"chip", "8:0"},
      {"--answer", "Maybe", "chips"},
      {"--dir"},
      {"--bogus", "chips"},
  };
  for (const auto& args : bad) {
    const CtlResult r = Ctl(args);
    EXPECT_EQ(r.status, kExitUsage) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.err.find("tarvelctl: "), std::string::npos);
  }
  EXPECT_EQ(Ctl({"--help"}).status, 0);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(CliFiles, SelectLoadSave) {
  testing::TempDir dir;
  testing::WriteText(dir / "fw.hex", ":0400100001020304E2\r\n:00000001FF\r\n");
  const std::string out = (dir / "out.s19").string();
  const CtlResult r = Ctl({"select", "SC92F848x", "load", (dir / "fw.hex").string(), "save", out});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("目标文件尾地址 = 0x0013."), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find("[box:error]"), std::string::npos) << r.err;
  if (testing::HaveTool("srec_cat")) {
    std::string text;
    EXPECT_EQ(testing::RunCommand("srec_cat " + out + " -motorola -o " + (dir / "b.bin").string() + " -binary", &text), 0)
        << text;
    EXPECT_EQ(testing::ReadBytes(dir / "b.bin").size(), 16384u);
  }

  const CtlResult bin = Ctl({"select", "SC92F848x", "load", (dir / "fw.hex").string(), "save",
                             (dir / "o.bin").string(), "load", (dir / "o.bin").string(), "--offset", "0x10",
                             "save", (dir / "o2.bin").string()});
  ASSERT_EQ(bin.status, 0) << bin.err;
  EXPECT_EQ(testing::ReadBytes(dir / "o2.bin")[0x23], 4);
}

TEST(CliFiles, FailuresEndWithStatus2) {
  testing::TempDir dir;
  testing::WriteText(dir / "bad.hex", ":0400100001020304E2\r\nJUNK\r\n");
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{"load", (dir / "bad.hex").string()}, "[box:information] 请先选择芯片型号！"},
      {{"select", "SC92F848x", "load", (dir / "missing.hex").string()}, "[box:error] Cannot open file"},
      {{"select", "SC92F848x", "load", (dir / "bad.hex").string()}, "[box:error] Line 2 Data Error : 1."},
      {{"select", "SC92F848x", "load", (dir / "bad.hex").string(), "save", (dir / "x.elf").string()},
       "extension must be"},
      {{"select", "SC92F848x", "save", (dir / "x.bin").string()}, "no object file"},
      {{"select", "SC92F848x", "load", (dir / "a.bin").string(), "--offset"}, "needs a value"},
      {{"chips", "--offset", "5"}, "belongs to a load"},
  };
  testing::WriteText(dir / "a.bin", "abc");
  for (const Case& c : cases) {
    const CtlResult r = Ctl(c.args);
    EXPECT_EQ(r.status, kExitUsage) << c.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  // --answer Abort stops a read at its first bad line.
  const CtlResult aborted = Ctl({"--answer", "Abort", "select", "SC92F848x", "load", (dir / "bad.hex").string()});
  EXPECT_NE(aborted.err.find("Line 2 Data Error : 1."), std::string::npos);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

TEST(CliWindow, StateSetAndViews) {
  const CtlResult sc = Ctl({"--json", "select", "SC95F750x", "state", "lbFlashSize", "ChkBoxEEP", "TabSheetEEP"});
  ASSERT_EQ(sc.status, 0) << sc.err;
  const auto j = nlohmann::json::parse(sc.out);
  EXPECT_EQ(j["lbFlashSize"]["value"], "32 KB,EEP=6144B.");
  EXPECT_EQ(j["ChkBoxEEP"]["enabled"], true);
  EXPECT_EQ(j["TabSheetEEP"]["visible"], true);
  EXPECT_NE(sc.err.find("has been selected!"), std::string::npos) << "with --json the panel goes to stderr";

  const CtlResult imd = Ctl({"--json", "select", "IMD111T-6F040", "state", "lbFlashSize", "AutoSpdBtn", "SpdBtnProg"});
  const auto k = nlohmann::json::parse(imd.out);
  EXPECT_EQ(k["lbFlashSize"]["value"], "256 KB, No EEP.");
  EXPECT_EQ(k["AutoSpdBtn"]["visible"], false);
  EXPECT_EQ(k["SpdBtnProg"]["visible"], true);

  testing::TempDir dir;
  testing::WriteText(dir / "fw.ldf", "%:Parameters Data Section Begin\r\nA0 1 2 3 3 AA BB CC\r\n");
  const CtlResult view = Ctl({"select", "IMD111T-6F040", "load", (dir / "fw.ldf").string(), "view", "flash", "0:2"});
  ASSERT_EQ(view.status, 0) << view.err;
  EXPECT_NE(view.out.find("0x00000000 F5 00 C6 00 00 00 00 00 00 00 00 00 00 00 00 00  ................\n"
                          "0x00000010 A0 01 02 03 03 AA BB CC 00 00 00 00 00 00 00 00  ................\n"),
            std::string::npos)
      << view.out;

  const CtlResult set = Ctl({"set", "ChkBoxAuto=1", "set", "SpinEditIn=600", "--json", "state", "SpinEditIn"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(nlohmann::json::parse(set.out)["SpinEditIn"]["value"], 600);
  const CtlResult refused = Ctl({"set", "SpinEditIn=600"});
  EXPECT_EQ(refused.status, kExitUsage);
  EXPECT_NE(refused.err.find("cannot be used now"), std::string::npos);
}

TEST(CliWindow, TheLogIsWrittenAtExitInTheProgramDirectory) {
  testing::TempDir dir;
  const CtlResult r = Ctl({"--dir", dir.path().string(), "select", "SC95F750x", "select", "IMD111T-6F040",
                           "show-option-data", "select", "Z51F3220SKX", "show-option-data"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto logs = dir / "GenZPNxLogS";
  ASSERT_TRUE(std::filesystem::is_directory(logs));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(logs), {}), 1);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// Ended by SIGTERM in the middle of a wait, tarvelctl still closes as the window does: the log is written.
TEST(CliSignals, TheLogIsWrittenWhenStoppedBySignal) {
  for (int sig : {SIGTERM, SIGINT}) {
    testing::TempDir dir;
    const pid_t pid = ::fork();
    if (pid == 0) {
      testing::RedirectOutput("/dev/null", "/dev/null");
      testing::ExecProgram(TARVELCTL_PATH, {"--dir", dir.path().string(), "select", "SC95F750x", "show-option-data",
                                            "wait", "60"});
    }
    ::usleep(1500000);  // time to start up and begin waiting
    ::kill(pid, sig);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    const auto logs = dir / "GenZPNxLogS";
    ASSERT_TRUE(std::filesystem::is_directory(logs)) << sig;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(logs), {}), 1);
  }
}

}  // namespace
}  // namespace tarvel

#include <sys/prctl.h>
#include <sys/resource.h>
#include <linux/capability.h>

namespace tarvel {
namespace {

// A tarvelctl process under a hard limit: a file-size limit stands in for a full disk (writes past it
// fail as they would on a full one), and without the capability to override file permissions even root
// meets a read-only directory.
struct Limits {
  rlim_t fileSize = RLIM_INFINITY;
  bool honourPermissions = false;
};

constexpr int kCannotDropCapabilities = 126;

CtlResult CtlProcess(const std::vector<std::string>& args, const Limits& limits) {
  testing::TempDir io;
  const std::string outPath = (io / "out").string(), errPath = (io / "err").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    testing::RedirectOutput(outPath, errPath);
    ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead of ending the process
    const rlimit fsize{limits.fileSize, limits.fileSize};
    ::setrlimit(RLIMIT_FSIZE, &fsize);
    if (limits.honourPermissions && ::geteuid() == 0) {
      for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) ::_exit(kCannotDropCapabilities);
    }
    testing::ExecProgram(TARVELCTL_PATH, args);
  }
  int s = 0;
  ::waitpid(pid, &s, 0);
  return {WIFEXITED(s) ? WEXITSTATUS(s) : -1, testing::ReadText(outPath), testing::ReadText(errPath)};
}

size_t Entries(const std::filesystem::path& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

// A save that cannot finish leaves the old file as it was and no half-written file beside it.
TEST(CliNothingLost, AFullDiskLeavesTheOldFileIntact) {
  for (const char* name : {"out.hex", "out.bin", "out.s19", "line.pmw"}) {
    SCOPED_TRACE(name);
    testing::TempDir dir;
    testing::WriteBytes(dir / "fw.bin", testing::PatternBytes(16384));
    std::filesystem::create_directory(dir / "saved");
    const auto target = dir / "saved" / name;
    testing::WriteText(target, "the old file\n");
    const bool project = std::string(name).ends_with(".pmw");
    const CtlResult r = CtlProcess({"--dir", dir.path().string(), "select", "SC92F848x", "load", (dir / "fw.bin").string(),
                                    project ? "project-save" : "save", target.string()},
                                   {.fileSize = 8192});
    EXPECT_EQ(r.status, kExitUsage) << r.err;
    EXPECT_NE(r.err.find("Cannot write file \"" + target.string() + "\": File too large"), std::string::npos) << r.err;
    EXPECT_EQ(testing::ReadText(target), "the old file\n");
    EXPECT_EQ(Entries(dir / "saved"), 1u) << "no temporary file left behind";
  }
}

TEST(CliNothingLost, AnUnwritableDirectoryGivesAClearMessage) {
  testing::TempDir dir;
  testing::WriteBytes(dir / "fw.bin", testing::PatternBytes(4096));
  const auto locked = dir / "locked";
  std::filesystem::create_directory(locked);
  testing::WriteText(locked / "out.hex", "the old file\n");
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const CtlResult r = CtlProcess({"--dir", dir.path().string(), "select", "SC92F848x", "load", (dir / "fw.bin").string(),
                                  "save", (locked / "out.hex").string()},
                                 {.honourPermissions = true});
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  if (r.status == kCannotDropCapabilities) GTEST_SKIP() << "this machine does not let root give up its permissions";
  EXPECT_EQ(r.status, kExitUsage) << r.err;
  EXPECT_NE(r.err.find("Cannot create file \"" + (locked / "out.hex").string() + "\": Permission denied"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(testing::ReadText(locked / "out.hex"), "the old file\n");
  EXPECT_EQ(Entries(locked), 1u);
}

// The log written at the end cannot be: the box says so, stderr tells why, and the exit status too.
TEST(CliNothingLost, ALogThatCannotBeWrittenIsReported) {
  testing::TempDir dir;
  testing::WriteBytes(dir / "fw.bin", testing::PatternBytes(4096));
  const auto logs = dir / "GenZPNxLogS";
  std::filesystem::create_directory(logs);
  std::filesystem::permissions(logs, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const CtlResult r = CtlProcess({"--dir", dir.path().string(), "select", "SC92F848x", "load", (dir / "fw.bin").string()},
                                 {.honourPermissions = true});
  std::filesystem::permissions(logs, std::filesystem::perms::owner_all);
  if (r.status == kCannotDropCapabilities) GTEST_SKIP() << "this machine does not let root give up its permissions";
  EXPECT_EQ(r.status, kExitUsage) << r.err;
  EXPECT_NE(r.err.find("[box:plain] Write Log File error!"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("tarvelctl: the log was not written: Cannot create file"), std::string::npos) << r.err;
  EXPECT_EQ(Entries(logs), 0u);
}

}  // namespace
}  // namespace tarvel
