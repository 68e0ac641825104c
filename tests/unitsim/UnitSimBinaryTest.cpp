// The tarvel-unitsim program itself: ready line, connection settings for the host, memory files at exit.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "base/Files.h"
#include "link/PortDiscovery.h"

extern char** environ;

namespace tarvel::test {
namespace {

using testing::TempDir;

class SimProcess {
 public:
  // Starts the program with stdout on a pipe (stderr to /dev/null).
  explicit SimProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    stdout_ = fds[0];
    std::vector<std::string> all = {TARVEL_UNITSIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) throw std::runtime_error("cannot start tarvel-unitsim");
  }
  ~SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    ::close(stdout_);
  }

  // The first line on stdout; empty after 10 s or at end of file.
  std::string ReadLine() {
    std::string line;
    char c;
    for (;;) {
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0 || ::read(stdout_, &c, 1) != 1) return line;
      if (c == '\n') return line;
      line += c;
    }
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  // The exit status, or -1 when the process did not exit normally.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

TEST(UnitSimProgram, ServesUntilTerminatedAndLeavesTheChipMemories) {
  TempDir dir;
  SimProcess sim({"--units", "3", "--dir", dir.path().string()});
  const auto ready = nlohmann::json::parse(sim.ReadLine());
  const std::vector<std::string> ports = ready.at("ports");
  ASSERT_EQ(ports.size(), 3u);

  // A host started with the same program directory finds the three units, in order.
  const PortSearchResult found = SearchPorts(PortSearchPlaces{dir.path()});
  EXPECT_EQ(found.ports, ports);
  EXPECT_EQ(found.unitCount, 3);

  {
    HostLink host(ports[1]);
    const auto h = Header(ChipSpec{});
    ASSERT_EQ(host.StatusOf(BuildProgramFlashBlock(host.packet(), {}, 0, h, DataBlockAt(0))), kStatusAck);
  }

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  for (int k = 1; k <= 3; ++k) {
    for (const char* memory : {"flash", "eep", "option"}) {
      EXPECT_TRUE(std::filesystem::exists(dir / ("unit" + std::to_string(k) + "-" + memory + ".bin")))
          << k << memory;
    }
  }
  const auto flash = ReadWholeFile(dir / "unit2-flash.bin");
  ASSERT_EQ(flash.size(), 16u * 1024);
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 4096, DataBlockAt(0).begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + 4096, flash.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(ReadWholeFile(dir / "unit2-eep.bin").size(), 1024u);
  EXPECT_EQ(ReadWholeFile(dir / "unit2-option.bin").size(), 512u);
}

TEST(UnitSimProgram, RefusesBadCommandLines) {
  TempDir dir;
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--units", "2"},
      {"--units", "11", "--dir", dir.path().string()},
      {"--units", "2", "--dir", dir.path().string(), "--silent", "3"},
      {"--units", "2", "--dir", dir.path().string(), "--status", "1:0x93"},
      {"--units", "2", "--dir", dir.path().string(), "--insert-every", "soon"},
      {"--units", "2", "--dir", dir.path().string(), "--frobnicate"},
  };
  for (const auto& args : bad) {
    SimProcess sim(args);
    EXPECT_EQ(sim.Wait(), 2) << ::testing::PrintToString(args);
  }
}

}  // namespace
}  // namespace tarvel::test
