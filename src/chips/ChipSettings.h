// Every chip-dependent setting. One record for the whole run, derived from the chip name when a chip is
// confirmed, then changed by the option dialogs, the settings collection before a download and project
// loading. Fields marked "header N" travel at byte N of the 80-byte operation settings header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {

struct ChipSettings {
  std::string ChipName;            // host
  uint8_t VendorIndex = 0;         // host, 0..8
  bool ChipSelected = false;       // host

  uint8_t InterfaceMode = 0;       // header 1
  uint8_t DeviceAddress = 0;       // header 2
  uint8_t SettingsTag = 0;         // header 3, always 0x53
  uint8_t FamilyCode = 0;          // header 4
  uint8_t ChipSubtype = 0;         // header 5
  uint8_t FamilyByte8 = 0;         // header 8, zero for every family
  uint8_t FamilyByte9 = 0;         // header 9, zero for every family
  uint16_t FlashSizeKB = 0;        // header 16
  uint16_t FlashUnits = 0;         // header 18
  uint16_t EepSize = 0;            // header 20; 0: no EEP
  uint16_t ProjectWord = 0;        // header 22, restored from project files
  uint32_t FlashStart = 0;         // header 24
  uint32_t FlashEnd = 0;           // host
  uint32_t EepStart = 0;           // header 28
  uint32_t EepEnd = 0;             // host
  uint8_t ControlFlags0 = 0;       // header 32
  uint8_t ControlFlags1 = 0;       // header 33
  uint8_t ControlFlags2 = 0;       // header 34
  uint8_t OperationMask = 0;       // header 35
  uint8_t ExtraFlags = 0;          // header 36
  uint8_t Reserved37 = 0;          // header 37
  uint8_t KfClass = 0;             // header 38
  uint8_t KfFlags = 0;             // header 39
  uint16_t PageSize = 0;           // header 44
  uint16_t ChipId2 = 0;            // header 46
  uint32_t OptionStart = 0;        // header 60
  uint32_t OptionEnd = 0;          // host
  uint8_t ConfigByte0 = 0;         // header 64
  uint8_t ConfigByte1 = 0;         // header 65
  uint16_t ChipId = 0;             // header 66
  uint8_t EraseKey = 0;            // header 68
  uint8_t ProgTiming1 = 0;         // header 69
  uint8_t ProgTiming2 = 0;         // header 70
  uint8_t TopReservedWords = 0;    // header 71
  uint16_t ClockParam = 0;         // header 72
  uint32_t OldPassword = 0;        // header 74
  uint32_t EepFileBase = 0;        // host: window of stand-alone EEP data files
  uint32_t EepFileEnd = 0;         // host
  uint32_t ImageOffset = 0;        // host: offset of the flash data inside the flash image
  uint32_t ReadAddress = 0;        // host
  uint32_t BinOffset = 0;          // host
  bool BlankValueIsZero = false;   // host: erased flash reads 0x00
  uint16_t ChipFlashSizeKB = 0;    // host: the chip's full flash size, kept at selection for the used-size scan
};

// The state before any chip is chosen.
ChipSettings StartupChipSettings();

// Every numeric field with its name, in declaration order (for listings, state dumps and tests).
struct SettingsField {
  const char* name;
  int64_t value;
};
std::vector<SettingsField> SettingsFields(const ChipSettings& s);

}  // namespace tarvel
