// Ten simulated units at wire speed (every byte costs 11 us, as at 1,000,000 baud with 8N2), a 256 KiB
// download, or the automatic sequence with verify, on all ten at once. The protocol is stop-and-wait, so
// the physical limit of one unit is the wire time of every byte it exchanges (the simulator counts them);
// the units run in parallel on their own ports. Prints the measured time against that limit and the
// host's CPU time meanwhile.
//   download_bench [download|auto] [UNITSIM]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/LoopWait.h"
#include "base/PollEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "ui/GenMainZPN.h"

using namespace tarvel;

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string op = argc > 1 ? argv[1] : "download";
  if (op != "download" && op != "auto") {
    std::fprintf(stderr, "usage: download_bench [download|auto] [UNITSIM]\n");
    return 2;
  }
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe").parent_path();
  const std::string sim = argc > 2 ? argv[2] : (self.parent_path() / "tools/unitsim/tarvel-unitsim").string();
  const int units = 10;
  const auto dir = std::filesystem::temp_directory_path() / ("tarvel-dlbench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);

  // The image: 256 KiB of varied bytes (some need escaping in frames, as real firmware does).
  std::vector<uint8_t> image(256 * 1024);
  uint32_t x = 1;
  for (auto& b : image) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  std::ofstream(dir / "fw.bin", std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                         static_cast<std::streamsize>(image.size()));

  int out[2];
  if (pipe(out) != 0) return 2;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    execl(sim.c_str(), sim.c_str(), "--units", std::to_string(units).c_str(), "--dir", dir.c_str(), "--wire-speed",
          "--stats", (dir / "stats.json").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  char c;
  std::string ready;
  while (read(out[0], &c, 1) == 1 && c != '\n') ready.push_back(c);
  if (ready.empty()) {
    std::fprintf(stderr, "tarvel-unitsim did not start (%s)\n", sim.c_str());
    return 2;
  }

  int status = 0;
  double seconds = 0, cpu = 0;
  int good = 0;
  {
    PollEventLoop loop;
    ScriptedDialogService dialogs;
    TGenMFrmZPN w(loop, dialogs, dir);
    w.FormShow();
    RunLoopUntil(loop, [&] { return w.Ops.foundCount >= units && !w.Ops.searching(); }, std::chrono::seconds(10));
    w.ConfirmChip(FindChipByName("KF32A156KQV")->chip);  // 256 KiB of flash
    dialogs.answerFile((dir / "fw.bin").string());
    w.SpdBtnOpenClick();

    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    w.RunUnitCommand(op == "auto" ? UnitCommand::AutoProgram : UnitCommand::Download);
    RunLoopUntil(loop, [&] { return !w.Ops.AnyBusy(); }, std::chrono::seconds(300));
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu = CpuSeconds() - cpu0;
    for (int i = 0; i < units; ++i)
      good += w.Ops.channel(i).connected && w.Gauges[static_cast<size_t>(i)].colour == GaugeColour::Blue;
    w.Close();
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);

  // The busiest unit's bytes; the search's request and identification reply (a few dozen bytes of some
  // 300,000) are among them.
  uint64_t most = 0;
  try {
    std::ifstream f(dir / "stats.json");
    const auto stats = nlohmann::json::parse(f);
    for (const auto& u : stats.at("units")) most = std::max<uint64_t>(most, u.at("received").get<uint64_t>() + u.at("sent").get<uint64_t>());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "no traffic figures from the simulator: %s\n", e.what());
    status = 2;
  }
  const double wire = static_cast<double>(most) * 11e-6;
  std::printf("%s: ten units, 256 KiB each at wire speed: %.3f s measured, %.3f s wire time per unit (%llu bytes):"
              " ratio %.3f; %d of %d units succeeded\n",
              op.c_str(), seconds, wire, static_cast<unsigned long long>(most), seconds / wire, good, units);
  std::printf("host CPU during the %s: %.3f s (%.1f %% of one core)\n", op.c_str(), cpu, 100.0 * cpu / seconds);
  if (good != units && status == 0) status = 1;
  std::filesystem::remove_all(dir);
  return status;
}
