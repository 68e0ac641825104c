// Ten simulated units at wire speed (every byte costs 11 us, as at 1,000,000 baud with 8N2), a 256 KiB
// download to all ten at once. The protocol is stop-and-wait, so the physical limit of one unit is the
// wire time of every byte it exchanges; the units run in parallel on their own ports. Prints the measured
// time against that limit and the host's CPU time meanwhile.
//   download_bench [UNITSIM]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/LoopWait.h"
#include "base/PollEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "link/LinkPacket.h"
#include "ui/GenMainZPN.h"

using namespace tarvel;

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

size_t FrameBytes(std::span<const uint8_t> packet) {
  std::vector<uint8_t> frame(packet.size() * 2 + 8);
  return EncodeFrame(packet, frame);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe").parent_path();
  const std::string sim = argc > 1 ? argv[1] : (self.parent_path() / "tools/unitsim/tarvel-unitsim").string();
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
          static_cast<char*>(nullptr));
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
    w.RunUnitCommand(UnitCommand::Download);
    RunLoopUntil(loop, [&] { return !w.Ops.AnyBusy(); }, std::chrono::seconds(120));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;

    // The bytes one unit exchanges: the configuration, 64 flash blocks and the restart out, a status reply
    // in for each of the 65 acknowledged packets.
    std::array<uint8_t, kPacketBufferSize> packet{};
    const LinkSettingsBytes sb{w.Chip.SettingsTag, w.Chip.FamilyCode, w.Chip.ChipSubtype};
    size_t bytes = FrameBytes(std::span<const uint8_t>(packet.data(), kPacketOverhead + kConfigPayloadLength));
    for (size_t block = 0; block < image.size() / kDataBlockLength; ++block) {
      const size_t n = BuildDownloadFlashBlock(PacketSpan(packet), sb, static_cast<uint16_t>(block * 4),
                                               DataBlock(image.data() + block * kDataBlockLength, kDataBlockLength));
      bytes += FrameBytes(std::span<const uint8_t>(packet.data(), n));
    }
    bytes += FrameBytes(std::span<const uint8_t>(packet.data(), BuildRestartUnit(PacketSpan(packet))));
    const std::array<uint8_t, 2> st = {0, 0};
    bytes += 65 * FrameBytes(std::span<const uint8_t>(packet.data(), BuildPacket(PacketSpan(packet), 0x55, 0, sb, st)));
    const double wire = static_cast<double>(bytes) * 11e-6;

    std::printf("ten units, 256 KiB each at wire speed: %.3f s measured, %.3f s wire time per unit (%zu bytes):"
                " ratio %.3f; %d units downloaded\n",
                seconds, wire, bytes, seconds / wire, w.Ops.downloadCount);
    std::printf("host CPU during the download: %.3f s (%.1f %% of one core)\n", cpu, 100.0 * cpu / seconds);
    if (w.Ops.downloadCount != units) status = 1;
    w.Close();
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::filesystem::remove_all(dir);
  return status;
}
