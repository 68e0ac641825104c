// Every fault a simulated unit can show, in every kind of operation, through tarvelctl as a line runs
// it: the faulty unit ends with its message and a red gauge, the others finish, tarvelctl neither crashes
// nor hangs, and its exit status and unit summary tell the truth.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/Format.h"
#include "base/RandomSource.h"
#include "e2e/UnitSimProcess.h"
#include "ops/FirmwareFile.h"
#include "support/ChildProcess.h"
#include "support/TestFiles.h"

namespace tarvel {
namespace {

using testing::TempDir;
using testing::UnitSimProcess;

enum class Op { Download, Auto, Read, Upgrade };

struct Fault {
  const char* name;
  std::vector<std::string> (*options)(int unit, Op op);
};

std::string FailingCommand(Op op) {
  switch (op) {
    case Op::Download: return "DownloadFlashBlock";
    case Op::Auto: return "ProgramFlashBlock";
    case Op::Read: return "ReadFlashBlock";
    case Op::Upgrade: return "FirmwareBlock";
  }
  return {};
}

// What the faulty unit shows at the end: its last panel line (empty: none of its own), its summary word.
struct Outcome {
  std::string message;
  std::string summary;
};

constexpr int kUnits = 3;
constexpr const char* kChip = "SC92F848x";  // 16 KiB of flash

struct Case {
  std::string fault;
  std::vector<std::string> options;
  Op op;
  Outcome expected;  // for the faulty unit
};

const char* OpName(Op op) {
  switch (op) {
    case Op::Download: return "download";
    case Op::Auto: return "auto";
    case Op::Read: return "read";
    case Op::Upgrade: return "upgrade";
  }
  return "";
}

void PrintTo(const Case& c, std::ostream* os) { *os << OpName(c.op) << " / " << c.fault; }

// The panel line of a unit that finished the operation well.
std::string SuccessLine(Op op, int unit) {
  switch (op) {
    case Op::Download: return "数据下载成功！";
    case Op::Auto: return "Flash数据校验成功！";
    case Op::Read: return "Main Flash读取成功！";
    case Op::Upgrade: return Format("Firmware %d Upgrade Completed!", unit);
  }
  return {};
}

std::vector<Case> Matrix() {
  std::vector<Case> cases;
  for (Op op : {Op::Download, Op::Auto, Op::Read, Op::Upgrade}) {
    // The Read menu works on unit 1; the others take part in everything else, so the fault is on unit 2.
    const int u = op == Op::Read ? 1 : 2;
    const std::string k = std::to_string(u);
    const Outcome ok{SuccessLine(op, u), "ok"};
    const Outcome timeout{"命令执行操作超时！", "failed"};
    const Outcome badCheck{"操作失败！错误代码: 035/0x23", "failed"};
    const Outcome status{"命令执行错误!", "failed"};
    const Outcome gone{"设备连接已断开，操作失败！", "failed, gone"};
    cases.push_back({"silent", {"--silent", k}, op, {"", "not connected"}});
    cases.push_back({"silent after 3", {"--silent-after", k + ":3"}, op, timeout});
    cases.push_back({"bad check words", {"--bad-check", k}, op, badCheck});
    cases.push_back({"garbage and split frames", {"--garbage", k}, op, ok});
    cases.push_back({"status 0x45", {"--status", k + ":" + FailingCommand(op) + ":0x45"}, op, status});
    cases.push_back({"protected chip", {"--protected", k}, op,
                     op == Op::Read ? Outcome{"芯片已被读保护！", "failed"} : ok});
    cases.push_back({"not blank", {"--not-blank", k}, op, ok});
    cases.push_back({"verify corruption", {"--verify-corrupt", k + ":0x100"}, op,
                     op == Op::Auto ? Outcome{"数据编程校验错误!", "failed"} : ok});
    cases.push_back({"unplugged after 3", {"--hangup-after", k + ":3"}, op, gone});
  }
  return cases;
}

struct CliRun {
  int status = -1;  // exit status; -1 for a signal, -2 when it had to be killed
  std::string out, err;
};

// tarvelctl as a line runs it, killed if it does not end in time.
CliRun RunTarvelctl(const std::vector<std::string>& args, std::chrono::seconds limit) {
  TempDir io;
  const std::string outPath = (io / "out").string(), errPath = (io / "err").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    testing::RedirectOutput(outPath, errPath);
    testing::ExecProgram(TARVELCTL_PATH, args);
  }
  CliRun run;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int s = 0;
  while (::waitpid(pid, &s, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &s, 0);
      run.status = -2;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (run.status != -2) run.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  run.out = testing::ReadText(outPath);
  run.err = testing::ReadText(errPath);
  return run;
}

// The unit's line in the summary ("  C2 failed  OK=0 NG=0  /dev/pts/4") names its result.
std::string SummaryResult(const std::string& err, int unit) {
  const std::string key = Format("  C%d ", unit);
  const size_t at = err.rfind(key);
  if (at == std::string::npos) return "(no line)";
  std::string rest = err.substr(at + key.size(), err.find('\n', at) - at - key.size());
  return rest.substr(0, rest.find("  OK="));
}

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The panel lines of a unit, without the time stamp and channel.
std::vector<std::string> UnitLines(const std::string& out, int unit) {
  const std::string key = Format(" C%d : ", unit);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = std::min(out.find('\n', start), out.size());
    const std::string line = out.substr(start, end - start);
    if (const size_t at = line.find(key); at != std::string::npos && line.rfind("> ", 0) == 0)
      lines.push_back(line.substr(at + key.size()));
    start = end + 1;
  }
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class FaultMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, TheFaultyUnitFailsAloneAndTheRunTellsTheTruth) {
  const Case& c = GetParam();
  const int faulty = c.op == Op::Read ? 1 : 2;
  TempDir dir;
  const std::vector<uint8_t> data = testing::PatternBytes(12288, 7);
  testing::WriteBytes(dir / "fw.bin", data);
  if (c.op == Op::Upgrade) {
    RandomSource random(5);
    WriteFirmwareFile(dir / "TarvelIMOT.FWR", testing::PatternBytes(6000, 3), "V1.10", random);
  }
  UnitSimProcess sim(dir.path(), kUnits, c.options);

  std::vector<std::string> args = {"--dir", dir.path().string(), "find"};
  switch (c.op) {
    case Op::Download: args.insert(args.end(), {"select", kChip, "load", (dir / "fw.bin").string(), "download"}); break;
    case Op::Auto: args.insert(args.end(), {"select", kChip, "load", (dir / "fw.bin").string(), "auto"}); break;
    case Op::Read: args.insert(args.end(), {"select", kChip, "read-flash"}); break;
    case Op::Upgrade: args.insert(args.end(), {"upgrade"}); break;
  }
  // The slowest fault is a unit that stops answering: 10 s of watchdog after its last reply.
  const CliRun run = RunTarvelctl(args, std::chrono::seconds(60));
  SCOPED_TRACE("stdout:\n" + run.out + "stderr:\n" + run.err);
  ASSERT_NE(run.status, -2) << "tarvelctl hung";
  ASSERT_NE(run.status, -1) << "tarvelctl crashed";

  const bool faultyFails = c.expected.summary != "ok";
  int expectedStatus = faultyFails ? 1 : 0;
  // The Read menu needs unit 1; without it the command cannot run at all.
  if (c.op == Op::Read && c.expected.summary == "not connected") expectedStatus = 2;
  EXPECT_EQ(run.status, expectedStatus);

  EXPECT_EQ(Trim(SummaryResult(run.err, faulty)), c.expected.summary);
  const std::vector<std::string> own = UnitLines(run.out, faulty);
  if (c.expected.message.empty()) {
    EXPECT_TRUE(own.empty()) << own.front();
  } else if (faultyFails) {
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.back(), c.expected.message) << "a failure is the unit's last word";
    EXPECT_FALSE(Has(own, SuccessLine(c.op, faulty)));
  } else {
    EXPECT_TRUE(Has(own, c.expected.message));
  }
  for (int u = 1; u <= kUnits; ++u) {
    if (u == faulty) continue;
    EXPECT_EQ(Trim(SummaryResult(run.err, u)), "ok") << "unit " << u;
    if (c.op != Op::Read) {
      EXPECT_TRUE(Has(UnitLines(run.out, u), SuccessLine(c.op, u))) << "unit " << u;
    }
  }

  // The chips of the units that programmed hold the file.
  EXPECT_EQ(sim.stop(), 0);
  if (c.op == Op::Auto) {
    for (int u = 1; u <= kUnits; ++u) {
      if (u == faulty && faultyFails) continue;
      const auto chip = testing::ReadBytes(dir / ("unit" + std::to_string(u) + "-flash.bin"));
      ASSERT_GE(chip.size(), data.size()) << "unit " << u;
      EXPECT_TRUE(std::equal(data.begin(), data.end(), chip.begin())) << "unit " << u;
    }
  }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = std::string(OpName(info.param.op)) + "_" + info.param.fault;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryFaultInEveryOperation, FaultMatrix, ::testing::ValuesIn(Matrix()), CaseName);

}  // namespace
}  // namespace tarvel
