// The simulator's settings: what each unit reports, how it programs on its own, and the faults it shows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::unitsim {

constexpr const char* kHostModel = "Tarvel200IMOT";
constexpr const char* kGenericModel = "Tarvel200XXX";
constexpr const char* kDefaultVersion = "V1.10";
constexpr int kMaxSimUnits = 10;

// A forced answer: every `command` (with this ChipCommand sub-command, when given) gets status `code`.
struct StatusOverride {
  uint8_t command = 0;
  std::optional<uint16_t> subCommand;
  uint8_t code = 0;
};

struct UnitSettings {
  int number = 1;  // 1-based, as the host shows units
  std::string model = kHostModel;
  std::string version = kDefaultVersion;
  std::string upgradeTo = kDefaultVersion;

  // Standalone programming: a chip is inserted every `insertEveryMs`, `cycles` times per standalone
  // session (0: no limit); cycle numbers (from 1 in each session) that fail, with their codes.
  uint32_t insertEveryMs = 1000;
  uint32_t cycles = 0;
  std::map<uint32_t, uint8_t> failCycles;

  // Faults.
  bool silent = false;
  std::optional<uint32_t> silentAfter;  // answers this many requests, then nothing
  bool badCheck = false;
  bool garbage = false;
  std::vector<StatusOverride> statusOverrides;
  bool protectedChip = false;
  bool notBlank = false;
  std::optional<uint32_t> verifyCorruptAddress;
  std::optional<uint32_t> hangupAfter;  // answers this many requests, then unplugs
  bool wireSpeed = false;
};

struct SimOptions {
  int units = 0;
  std::filesystem::path dir;
  std::optional<std::filesystem::path> logFile;
  std::optional<std::filesystem::path> statsFile;
  std::vector<UnitSettings> unit;  // one per unit, in unit order
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the command line (without the program name). Throws UsageError with a one-line reason.
SimOptions ParseSimArguments(const std::vector<std::string>& args);

extern const char* const kUsageText;

// Command names as the log and --status write them; nullptr / nullopt for unknown ones.
const char* CommandName(uint8_t code);
std::optional<uint8_t> CommandByName(std::string_view name);

}  // namespace tarvel::unitsim
