#include "unitsim/EmulatedChip.h"

#include <algorithm>
#include <random>

namespace tarvel::unitsim {

EmulatedChip::EmulatedChip() : option_(kOptionBytes, 0xFF) {}

void EmulatedChip::Insert(const ChipGeometry& geometry, const ChipFaults& faults, uint32_t seed) {
  geometry_ = geometry;
  present_ = true;
  readProtected_ = faults.readProtected;
  weakCell_ = faults.weakCellAddress;
  weakCellProgrammed_ = false;
  flash_.assign(geometry.flashBytes, geometry.blank);
  eep_.assign(geometry.eepBytes, geometry.blank);
  option_.assign(kOptionBytes, geometry.blank);
  if (faults.notBlank) {
    // Left over from an earlier use: a program in the first kilobytes, never erased.
    std::mt19937 rng(seed);
    const size_t used = std::min<size_t>(flash_.size(), 3000);
    for (size_t i = 0; i < used; ++i) flash_[i] = static_cast<uint8_t>(rng());
    if (!flash_.empty() && used > 0 && flash_[0] == geometry.blank) flash_[0] ^= 0x5A;
  }
}

bool EmulatedChip::IsBlank() const {
  const uint8_t b = geometry_.blank;
  auto blank = [b](const std::vector<uint8_t>& v) {
    return std::all_of(v.begin(), v.end(), [b](uint8_t x) { return x == b; });
  };
  return blank(flash_) && blank(eep_);
}

void EmulatedChip::Erase() {
  std::fill(flash_.begin(), flash_.end(), geometry_.blank);
  std::fill(eep_.begin(), eep_.end(), geometry_.blank);
  readProtected_ = false;
  weakCellProgrammed_ = false;
}

void EmulatedChip::Program(std::vector<uint8_t>& cells, uint32_t memoryStart, uint32_t offset,
                           std::span<const uint8_t> data) {
  if (offset >= cells.size()) return;
  const size_t n = std::min<size_t>(data.size(), cells.size() - offset);
  const bool blankIsOnes = geometry_.blank == 0xFF;
  for (size_t i = 0; i < n; ++i) {
    uint8_t& c = cells[offset + i];
    c = blankIsOnes ? (c & data[i]) : (c | data[i]);
  }
  const uint64_t first = uint64_t{memoryStart} + offset;
  if (weakCell_ && *weakCell_ >= first && *weakCell_ - first < n) weakCellProgrammed_ = true;
}

void EmulatedChip::Read(const std::vector<uint8_t>& cells, uint32_t memoryStart, uint32_t offset,
                        std::span<uint8_t> out) const {
  for (size_t i = 0; i < out.size(); ++i) {
    const uint64_t at = uint64_t{offset} + i;
    out[i] = at < cells.size() ? cells[at] : geometry_.blank;
  }
  if (weakCellProgrammed_ && *weakCell_ >= memoryStart) {
    const uint64_t at = uint64_t{*weakCell_} - memoryStart;
    if (at < cells.size() && at >= offset && at - offset < out.size()) out[at - offset] ^= 0x01;
  }
}

void EmulatedChip::ProgramFlash(uint32_t offset, std::span<const uint8_t> data) {
  Program(flash_, geometry_.flashStart, offset, data);
}

void EmulatedChip::ProgramEep(uint32_t offset, std::span<const uint8_t> data) {
  Program(eep_, geometry_.eepStart, offset, data);
}

void EmulatedChip::ReadFlash(uint32_t offset, std::span<uint8_t> out) const {
  Read(flash_, geometry_.flashStart, offset, out);
}

void EmulatedChip::ReadEep(uint32_t offset, std::span<uint8_t> out) const {
  Read(eep_, geometry_.eepStart, offset, out);
}

void EmulatedChip::ReadAddress(uint32_t address, std::span<uint8_t> out) const {
  for (size_t i = 0; i < out.size(); ++i) {
    const uint64_t a = uint64_t{address} + i;
    std::span<uint8_t> one = out.subspan(i, 1);
    if (a >= geometry_.flashStart && a - geometry_.flashStart < flash_.size()) {
      ReadFlash(static_cast<uint32_t>(a - geometry_.flashStart), one);
    } else if (a >= geometry_.eepStart && a - geometry_.eepStart < eep_.size()) {
      ReadEep(static_cast<uint32_t>(a - geometry_.eepStart), one);
    } else {
      out[i] = geometry_.blank;
    }
  }
}

void EmulatedChip::WriteOption(uint32_t offset, std::span<const uint8_t> data) {
  for (size_t i = 0; i < data.size() && offset + i < option_.size(); ++i) option_[offset + i] = data[i];
}

}  // namespace tarvel::unitsim
