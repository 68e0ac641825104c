// Confirming a catalogue chip: the common reset, the family preamble and the family's derivation.
#pragma once

#include <span>
#include <string>

#include "chips/Catalogue.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"

namespace tarvel {

// Derives every chip-dependent setting for `chip` and writes the family's default option data, if it
// has any, into `optionData`. Cannot fail for catalogue names.
void SelectChip(ChipSettings& s, std::span<uint8_t> optionData, const ChipDescriptor& chip);

// The main window's size text: "%d KB, No EEP." or "%d KB,EEP=%dB.".
std::string FlashSizeText(const ChipSettings& s);

// Shrinks FlashSizeKB and FlashEnd to the used part of the flash image (vendor 7, after a main load),
// so that the download sends only what is used.
void UsedFlashScan(ChipSettings& s, const MemoryImage& image);

}  // namespace tarvel
