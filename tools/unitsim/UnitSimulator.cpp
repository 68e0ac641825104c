#include "unitsim/UnitSimulator.h"

#include <nlohmann/json.hpp>

#include "base/Files.h"
#include "link/PortDiscovery.h"

namespace tarvel::unitsim {

UnitSimulator::UnitSimulator(const SimOptions& options) {
  if (options.logFile) log_ = std::make_unique<CommandLog>(*options.logFile);
  for (const UnitSettings& s : options.unit) units_.push_back(std::make_unique<UnitPort>(s, log_.get()));
  for (auto& u : units_) u->Start();
}

UnitSimulator::~UnitSimulator() {
  Stop();
}

std::vector<std::string> UnitSimulator::ports() const {
  std::vector<std::string> p;
  for (const auto& u : units_) p.push_back(u->path());
  return p;
}

void UnitSimulator::WriteConnectionSettings(const std::filesystem::path& dir) const {
  // The first line is never read by the host.
  std::string text = "tarvel-unitsim: simulated programmer units\n[Connection]\n";
  text += "TOTDEV=" + std::to_string(units_.size()) + "\n";
  for (size_t k = 0; k < units_.size(); ++k)
    text += "DEV" + std::to_string(k + 1) + "=" + units_[k]->path() + "\n";
  WriteFileAtomically(dir / kConnectionSettingsFile, text);
}

void UnitSimulator::Stop() {
  for (auto& u : units_) u->Stop();
}

void UnitSimulator::WriteMemories(const std::filesystem::path& dir) {
  for (size_t k = 0; k < units_.size(); ++k) {
    const std::string stem = "unit" + std::to_string(k + 1);
    units_[k]->Inspect([&](const SimulatedUnit& unit) {
      const EmulatedChip& chip = unit.chip();
      WriteFileAtomically(dir / (stem + "-flash.bin"), chip.flashCells());
      WriteFileAtomically(dir / (stem + "-eep.bin"), chip.eepCells());
      WriteFileAtomically(dir / (stem + "-option.bin"), chip.option());
      if (!unit.firmware().empty()) WriteFileAtomically(dir / (stem + "-firmware.bin"), unit.firmware());
      return 0;
    });
  }
}

void UnitSimulator::WriteStats(const std::filesystem::path& file) {
  nlohmann::json units = nlohmann::json::array();
  for (size_t k = 0; k < units_.size(); ++k) {
    const UnitPort::Traffic t = units_[k]->traffic();
    units.push_back({{"unit", k + 1}, {"received", t.received}, {"sent", t.sent}});
  }
  WriteFileAtomically(file, nlohmann::json{{"units", units}}.dump() + "\n");
}

}  // namespace tarvel::unitsim
