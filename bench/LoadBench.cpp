// Loads a 2 MiB Intel HEX file and a 2 MiB S-record file through LoadObjectFile and, in the same run,
// times srec_cat converting the same files to binary. Prints medians and the ratio srec_cat / ours.
//   load_bench [RUNS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/ScriptedDialogService.h"
#include "chips/ChipSettings.h"
#include "chips/ObjectLoad.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The peer's warnings (no start address record) are noise here.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvel;
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const auto dir = std::filesystem::temp_directory_path() / ("tarvel-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto bin = dir / "image.bin";
  {
    std::vector<char> data(2 * 1024 * 1024);
    uint32_t x = 12345;
    for (char& c : data) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 16);
    }
    std::ofstream(bin, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  // srec_cat would end a 65,536-record S-record file with an S6 count record, which the program's reader
  // refuses like S4; leave the count record out.
  struct Format {
    const char* name;
    const char* file;
    const char* srecOption;
    const char* extra;
  };
  const Format formats[] = {{"Intel HEX", "image.hex", "-intel", nullptr},
                            {"S-record", "image.s19", "-motorola", "-disable=data-count"}};
  int status = 0;
  for (const Format& f : formats) {
    const auto file = dir / f.file;
    std::vector<std::string> make = {"srec_cat", bin.string(), "-binary", "-o", file.string(), f.srecOption,
                                      "-address-length=4"};
    if (f.extra) make.push_back(f.extra);
    if (Spawn(make) != 0) {
      std::fprintf(stderr, "srec_cat is needed (apt-get install srecord)\n");
      return 2;
    }
    ChipSettings chip = StartupChipSettings();
    chip.ChipSelected = true;
    chip.FlashStart = 0;
    chip.FlashEnd = 0x1FFFFF;
    chip.FlashSizeKB = 2048;
    chip.VendorIndex = 8;  // no family post-load steps
    ScriptedDialogService dialogs;
    InfoLog log;
    auto image = std::make_unique<MemoryImage>();
    std::vector<double> ours, theirs;
    for (int i = 0; i < runs; ++i) {
      LoadContext ctx{chip, *image, dialogs, log, {}};
      const auto t0 = Clock::now();
      LoadObjectFile(file, ctx);
      ours.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      const auto t1 = Clock::now();
      if (Spawn({"srec_cat", file.string(), f.srecOption, "-o", (dir / "out.bin").string(), "-binary"}) != 0) {
        std::fprintf(stderr, "%s: srec_cat failed to convert the file\n", f.name);
        return 2;
      }
      theirs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t1).count());
    }
    if (!dialogs.boxes().empty() || image->HighestLoadedAddress != 0x1FFFFF) {
      std::fprintf(stderr, "%s: the load did not take the whole file\n", f.name);
      status = 1;
    }
    const double a = Median(ours), b = Median(theirs);
    std::printf("%-10s 2 MiB: LoadObjectFile %.1f ms, srec_cat %.1f ms (median of %d): srec_cat/ours = %.1fx\n",
                f.name, a, b, runs, b / a);
  }
  std::filesystem::remove_all(dir);
  return status;
}
