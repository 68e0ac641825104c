// The chip in a simulated unit's socket: main flash, EEP and 512 option bytes, with the behaviour of real
// flash where the host could notice it: programming only moves bits away from the blank value (so a
// chip that was not erased verifies wrong), erasing restores the blank value and lifts read protection.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvel::unitsim {

// What the settings header says the chip is.
struct ChipGeometry {
  uint32_t flashBytes = 0;
  uint32_t eepBytes = 0;
  uint32_t flashStart = 0;
  uint32_t eepStart = 0;
  uint8_t blank = 0xFF;
  bool operator==(const ChipGeometry&) const = default;
};

// The largest flash a simulated chip holds; a header asking for more names no chip that exists.
constexpr uint32_t kMaxChipFlashBytes = 8u << 20;
constexpr uint32_t kMaxChipEepBytes = 64u << 10;
constexpr size_t kOptionBytes = 512;

// How a newly inserted chip arrives.
struct ChipFaults {
  bool readProtected = false;
  bool notBlank = false;
  std::optional<uint32_t> weakCellAddress;  // this programmed byte reads back with bit 0 flipped
};

class EmulatedChip {
 public:
  EmulatedChip();

  // A new chip of this geometry in the socket (blank, or as `faults` say).
  void Insert(const ChipGeometry& geometry, const ChipFaults& faults, uint32_t seed);
  const ChipGeometry& geometry() const { return geometry_; }
  bool present() const { return present_; }

  bool readProtected() const { return readProtected_; }
  // Flash and EEP hold only the blank value (as read).
  bool IsBlank() const;
  // Flash and EEP back to blank; read protection is lifted. Option bytes stay.
  void Erase();

  // Offsets count from the start of each memory; bytes beyond its end are ignored on program and read
  // as blank.
  void ProgramFlash(uint32_t offset, std::span<const uint8_t> data);
  void ProgramEep(uint32_t offset, std::span<const uint8_t> data);
  void ReadFlash(uint32_t offset, std::span<uint8_t> out) const;
  void ReadEep(uint32_t offset, std::span<uint8_t> out) const;
  // Reads at a chip address: flash, EEP, or blank outside both.
  void ReadAddress(uint32_t address, std::span<uint8_t> out) const;

  void WriteOption(uint32_t offset, std::span<const uint8_t> data);
  std::span<const uint8_t> option() const { return option_; }

  // The stored cells, without read faults (for the memory files).
  const std::vector<uint8_t>& flashCells() const { return flash_; }
  const std::vector<uint8_t>& eepCells() const { return eep_; }

 private:
  void Program(std::vector<uint8_t>& cells, uint32_t memoryStart, uint32_t offset,
               std::span<const uint8_t> data);
  void Read(const std::vector<uint8_t>& cells, uint32_t memoryStart, uint32_t offset,
            std::span<uint8_t> out) const;

  ChipGeometry geometry_;
  bool present_ = false;
  bool readProtected_ = false;
  std::optional<uint32_t> weakCell_;
  bool weakCellProgrammed_ = false;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> eep_;
  std::vector<uint8_t> option_;
};

}  // namespace tarvel::unitsim
