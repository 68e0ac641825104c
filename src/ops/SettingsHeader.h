// The 80-byte operation settings header that opens every operation command, the 512-byte configuration
// block of a download (sent twice in its 1024-byte payload), and the capture of the window's settings
// they carry.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/RandomSource.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"

namespace tarvel {

inline constexpr size_t kSettingsHeaderSize = 80;
inline constexpr size_t kConfigBlockSize = 512;
using OperationHeader = std::array<uint8_t, kSettingsHeaderSize>;
using ConfigBlock = std::array<uint8_t, kConfigBlockSize>;

// The programming settings of the main window, as its controls show them.
struct WindowSettings {
  int voltIndex = 1;         // RadioGpVolt
  int speedIndex = 1;        // RadioGrpSpdF: 0 slow SWCLK
  bool ccx = false;          // ChkBoxCCX
  bool runAndShut = false;   // ChkBoxRunSHT
  bool blankError = false;   // ChkBoxBlkEr
  bool eepEnabled = false;   // ChkBoxEEP
  bool optionEnabled = false;  // CheckBoxOpt
  bool autoDetect = false;   // ChkBoxAuto
  bool powerOffAfter = true;  // ChkBoxVDD
  bool runAfter = false;     // CheckBoxRun
  int resetIndex = 0;        // RadioGrpRST
  int64_t vddTime = 100, resetTime = 100, insertTime = 510, removeTime = 510, runTime = 500;
  std::string deviceAddress = "0x00";  // EditDevAdr
  // Serial numbers and counts.
  bool serialEnabled = false;  // CheckBoxSN
  bool bigEndian = true;       // SNOrderChk
  bool countLimited = false;   // CheckBoxCtrl
  bool hostSerial = false;     // ChkBoxPCSN
  int64_t maxCount = 0;        // SpinEditNum
  std::string serialText = "0x00000000";  // SNEdit1
  std::string gainText = "0x01";          // GainEdit
  std::string addressText = "0x0000FFF0";  // AddrEdit
};

// What the last capture took from the window; every command carries it until the next capture.
struct OperationSettings {
  uint8_t AutoDetect = 0;
  uint8_t VddTime10 = 10, ResetTime10 = 10, InsertTime30 = 17, RemoveTime30 = 17;
  bool EepEnabled = false;
  bool OptionEnabled = false;
  int64_t RunTime = 500;
  // Serial numbers and counts (configuration block).
  bool SerialEnabled = false, BigEndian = true, CountLimited = false, HostSerial = false;
  uint32_t MaxCount = 0;
  uint32_t Serial = 0;
  uint16_t Gain = 1;
  uint32_t SerialAddress = 0xFFF0;
};

// Captures the window's settings: the window-dependent chip settings bits (control flags, operation
// mask, device address), the times, the option checksums and the serial-number fields. Throws
// ConversionError for a number field that is not a number; nothing is changed then.
void ApplyWindowSettings(const WindowSettings& w, ChipSettings& chip, MemoryImage& image, OperationSettings& out);

// The header for one packet: a fresh random byte at offset 6 and `parameter` at offset 10.
OperationHeader BuildSettingsHeader(const ChipSettings& chip, const MemoryImage& image, const OperationSettings& op,
                                   RandomSource& random, uint16_t parameter = 0);

struct ConfigBlockInput {
  int channel = 0;     // this unit's first serial number is Serial + channel x Gain
  int unitCount = 1;   // the serial-number step per cycle is unitCount x Gain
  bool fileLoaded = false;
  std::string objectFileName;  // without its directory
};

ConfigBlock BuildConfigBlock(const ChipSettings& chip, const MemoryImage& image, const OperationSettings& op,
                             RandomSource& random, const ConfigBlockInput& in);

}  // namespace tarvel
