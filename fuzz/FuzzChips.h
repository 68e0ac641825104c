// The catalogue as the fuzz targets use it: every entry's derived settings, computed once, so that an
// input can name a real chip (and with it real address windows) in two bytes.
#pragma once

#include <array>
#include <vector>

#include "chips/Catalogue.h"
#include "chips/ChipSelectZPN.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"

namespace tarvel::fuzz {

struct CatalogueChip {
  ChipDescriptor descriptor;
  ChipSettings settings;
  std::array<uint8_t, kOptionDataSize> optionData;  // the family's default option data
};

inline const std::vector<CatalogueChip>& CatalogueChips() {
  static const std::vector<CatalogueChip> chips = [] {
    std::vector<CatalogueChip> out;
    for (const CatalogueEntry& e : AllCatalogueEntries()) {
      CatalogueChip c{e.chip, StartupChipSettings(), {}};
      c.optionData.fill(0xFF);
      SelectChip(c.settings, c.optionData, e.chip);
      out.push_back(std::move(c));
    }
    return out;
  }();
  return chips;
}

// The chip an input names: any 16-bit number picks one.
inline const CatalogueChip& ChipFor(uint16_t n) {
  const auto& chips = CatalogueChips();
  return chips[n % chips.size()];
}

}  // namespace tarvel::fuzz
