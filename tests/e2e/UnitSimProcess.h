// tarvel-unitsim as a child process: simulated units on pseudo-terminals, listed in the program
// directory's ConfigKqn.ini, for tests that drive the host against them.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace tarvel::testing {

class UnitSimProcess {
 public:
  UnitSimProcess(const std::filesystem::path& dir, int units, std::vector<std::string> options = {}) {
    // The build tells where the simulator is; TARVEL_UNITSIM may name another one.
    const char* binary = std::getenv("TARVEL_UNITSIM");
#ifdef TARVEL_UNITSIM_PATH
    if (!binary) binary = TARVEL_UNITSIM_PATH;
#endif
    if (!binary) throw std::runtime_error("no tarvel-unitsim to run (set TARVEL_UNITSIM)");
    std::vector<std::string> args = {"--units", std::to_string(units), "--dir", dir.string()};
    args.insert(args.end(), options.begin(), options.end());
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      ExecProgram(binary, args);
    }
    ::close(out[1]);
    // The ready line: {"ports": [...]}.
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    ::close(out[0]);
    if (line.empty()) throw std::runtime_error("tarvel-unitsim did not start");
    ports_ = nlohmann::json::parse(line).at("ports").get<std::vector<std::string>>();
  }
  ~UnitSimProcess() { stop(); }
  UnitSimProcess(const UnitSimProcess&) = delete;
  UnitSimProcess& operator=(const UnitSimProcess&) = delete;

  const std::vector<std::string>& ports() const { return ports_; }

  // SIGTERM; the units write their memories and the process ends. Returns its exit status.
  int stop() {
    if (pid_ <= 0) return status_;
    ::kill(pid_, SIGTERM);
    int s = 0;
    ::waitpid(pid_, &s, 0);
    pid_ = -1;
    status_ = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::vector<std::string> ports_;
};

}  // namespace tarvel::testing
