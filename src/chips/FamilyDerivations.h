// The per-family derivations of ChipSettings from a confirmed catalogue name. Each runs after the common
// reset and the family preamble and sets only the fields its family names; every other field keeps its
// value. Families that define default option data write it into `optionData` (all 4096 bytes).
#pragma once

#include <cstdint>
#include <span>

#include "chips/ChipSettings.h"

namespace tarvel {

using OptionBytes = std::span<uint8_t>;

void DeriveZ51F(ChipSettings& s, OptionBytes optionData, uint8_t listIndex);       // vendor 0
void DeriveSc9x(ChipSettings& s, OptionBytes optionData);                          // vendor 1
void DeriveIte(ChipSettings& s);                                                   // vendor 2
void DeriveAbov(ChipSettings& s, OptionBytes optionData, uint8_t listIndex);       // vendor 3
void DeriveAnalogix(ChipSettings& s, OptionBytes optionData, uint8_t listIndex);   // vendor 4
void DeriveChipOn(ChipSettings& s, OptionBytes optionData);                        // vendor 5, KF8 and KF32
void DeriveHc8at(ChipSettings& s, OptionBytes optionData, uint8_t listIndex);      // vendor 6
void DeriveLe(ChipSettings& s);                                                    // vendor 7
void DeriveImotion(ChipSettings& s);                                               // vendor 8

}  // namespace tarvel
