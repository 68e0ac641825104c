// tarvel-unitsim: simulated programmer units on pseudo-terminals. Prints {"ports": [...]} when ready,
// serves until SIGTERM or SIGINT, then writes each unit's chip memories into DIR and exits 0.
#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "unitsim/UnitSimulator.h"

int main(int argc, char** argv) {
  using namespace tarvel::unitsim;
  SimOptions options;
  try {
    options = ParseSimArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    if (*e.what()) std::cerr << "tarvel-unitsim: " << e.what() << "\n";
    std::cerr << kUsageText;
    return 2;
  }

  // Every thread inherits the blocked set, so the signals wait for sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    UnitSimulator sim(options);
    sim.WriteConnectionSettings(options.dir);
    std::cout << nlohmann::json{{"ports", sim.ports()}}.dump() << std::endl;

    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    sim.Stop();
    sim.WriteMemories(options.dir);
    if (options.statsFile) sim.WriteStats(*options.statsFile);
  } catch (const std::exception& e) {
    std::cerr << "tarvel-unitsim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
