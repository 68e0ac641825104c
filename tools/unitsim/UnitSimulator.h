// A set of simulated units, one per pseudo-terminal, with the connection settings file that points the
// host at them and the memory files written when they stop.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "unitsim/CommandLog.h"
#include "unitsim/SimOptions.h"
#include "unitsim/UnitPort.h"

namespace tarvel::unitsim {

class UnitSimulator {
 public:
  // Opens the terminals and the log and starts every unit. Throws on failure.
  explicit UnitSimulator(const SimOptions& options);
  ~UnitSimulator();
  UnitSimulator(const UnitSimulator&) = delete;
  UnitSimulator& operator=(const UnitSimulator&) = delete;

  // Device paths, in unit order.
  std::vector<std::string> ports() const;
  size_t size() const { return units_.size(); }
  UnitPort& unit(int number) { return *units_.at(static_cast<size_t>(number - 1)); }

  // "ConfigKqn.ini" listing the units' devices, in the form the host's port search reads.
  void WriteConnectionSettings(const std::filesystem::path& dir) const;
  // Stops every unit.
  void Stop();
  // unitK-flash.bin, unitK-eep.bin and unitK-option.bin (and unitK-firmware.bin after an upgrade).
  void WriteMemories(const std::filesystem::path& dir);
  // {"units": [{"unit": K, "received": bytes from the host, "sent": bytes to the host}, ...]}
  void WriteStats(const std::filesystem::path& file);

 private:
  std::unique_ptr<CommandLog> log_;
  std::vector<std::unique_ptr<UnitPort>> units_;
};

}  // namespace tarvel::unitsim
