// Project files (.pmw): one complete set-up in one binary file. The settings travel as the configuration
// block of a download, stored whole; the flash window and the EEP data follow, scrambled with a pad and
// keys that the file itself carries, and a 32-bit byte sum closes the file. Multi-byte fields are
// little-endian.
//
// The functions here only read and write files and move data; the window model owns the dialogs, the
// messages and the controls, and applies what these functions return.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/RandomSource.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"
#include "ops/SettingsHeader.h"

namespace tarvel {

// The configuration block of a download: 512 bytes followed by a copy of them.
inline constexpr size_t kProjectConfigSize = 2 * kConfigBlockSize;
using ProjectConfigBlock = std::array<uint8_t, kProjectConfigSize>;

// Result codes of a project load.
inline constexpr int kProjectOk = 0;
inline constexpr int kProjectBadMagic = 5;
inline constexpr int kProjectCfgTagWrong = 10;
inline constexpr int kProjectMfmTagWrong = 13;
inline constexpr int kProjectEepTagWrong = 15;
inline constexpr int kProjectChecksumWrong = 16;

inline constexpr const char* kProjectNotValidText = "Not Valid Dunmor Project File!";
inline constexpr const char* kProjectCorruptedText = "Project File Data Has Been Corrupted!";
inline constexpr const char* kProjectOpenSuccessText = "Project File Open Success!";
inline constexpr const char* kProjectCreatedText = "Created Project File : ";                   // + the path
inline constexpr const char* kProjectLoadLogFormat = "Load Dunmor Project file of \"%s\" at ";  // + date

// The name of a programmer model by its code (the SettingsTag of a project). 25 models have a name of
// their own; every other code gives the generic model.
std::string_view ProgrammerModelName(uint8_t modelCode);

// Everything a project file holds. Texts are UTF-8 here and GBK in the file.
struct ProjectData {
  uint8_t Version = 2;         // written as 2, not checked when read
  uint8_t SettingsTag = 0x53;  // doubles as the programmer model code
  std::string ProgrammerModelName;
  std::string ChipName;        // at most 20 bytes in the file
  std::string ObjectFileName;  // at most 48 bytes in the file
  uint32_t FlashSum = 0;
  uint32_t FileByteSum = 0;
  uint32_t MaxCount = 0;  // written for older readers; a load takes the configuration block's copy
  uint32_t LowestLoadedAddress = 0xFFFFFFFF;
  uint32_t HighestLoadedAddress = 0;
  uint16_t Gain = 0;           // serial-number gain
  uint8_t BlankFillIndex = 0;  // RadioGrpBKF item: 0 fills 0x00, 1 fills 0xFF
  uint8_t VendorIndex = 0;
  uint16_t EepSize = 0;
  uint32_t FlashStart = 0;
  uint32_t EepStart = 0;
  uint32_t OptionStart = 0;
  uint16_t FlashAcc16 = 0, FlashCrc16 = 0, EepAcc16 = 0, EepCrc16 = 0, OptionAcc16 = 0, OptionCrc16 = 0;
  ProjectConfigBlock ConfigurationBlock{};
  // The flash window (FlashImage[0 .. F - 1], F a whole number of KB) and the EEP data
  // (EepImage[0 .. E - 1]). Views, so that a save reads the images in place.
  std::span<const uint8_t> Flash;
  std::span<const uint8_t> Eep;

  uint16_t FlashSizeKB() const { return static_cast<uint16_t>(Flash.size() / 1024); }
};

// What the window adds to the chip and the images when it saves a project.
struct ProjectSetup {
  std::string ObjectFileName;  // without its directory
  uint8_t BlankFillIndex = 0;  // RadioGrpBKF item
  int UnitCount = 1;           // the serial-number step in the configuration block is UnitCount x gain
};

// The project of the current set-up. `op` must be fresh from ApplyWindowSettings (which also refreshes
// the option checksums). The configuration block is built for unit 1; Flash and Eep view `image`.
// Throws std::length_error when the chip's flash is larger than the flash image.
ProjectData CollectProjectData(const ChipSettings& chip, const MemoryImage& image,
                               const OperationSettings& op, const ProjectSetup& setup, RandomSource& random);

// Writes the project file (through a temporary file renamed into place; FileError on failure).
// Returns notes on texts the file cannot hold as they are (a character GBK has no code for, stored as
// '?'; a text cut to its field; a text that will read back shorter because it holds the byte 0x5B), so
// that the caller can tell the user. Throws std::invalid_argument for data no project can hold (flash
// not a whole number of KB or larger than the flash image, Eep.size() other than EepSize).
std::vector<std::string> SaveProject(const std::filesystem::path& path, const ProjectData& data,
                                     RandomSource& random);

// The outcome of a load: the result code and its text, and what was read up to the failure. A load
// changes nothing but this object; the caller applies the data on success only. Move-only, because
// Data.Flash and Data.Eep view bytes it owns.
class ProjectLoad {
 public:
  ProjectLoad() = default;
  ProjectLoad(ProjectLoad&&) = default;
  ProjectLoad& operator=(ProjectLoad&&) = default;
  ProjectLoad(const ProjectLoad&) = delete;
  ProjectLoad& operator=(const ProjectLoad&) = delete;

  int Result = kProjectOk;
  std::string Text;
  ProjectData Data;
  // Texts of the file that could not be read exactly (bytes that are not GBK, read as '?').
  std::vector<std::string> Notes;

 private:
  friend ProjectLoad ParseProject(std::span<const uint8_t> file, const std::string& name);
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> eep_;
};

// Reads a project file. Throws FileError when the file cannot be read or ends early.
ProjectLoad LoadProject(const std::filesystem::path& path);
// The same over bytes already in memory; `name` names the file in errors.
ProjectLoad ParseProject(std::span<const uint8_t> file, const std::string& name);

// FlashEnd and EepEnd from the starts and sizes. A chip without EEP keeps EepEnd at EepStart: the plain
// formula would wrap to 0xFFFFFFFF and make every address from EepStart up an EEP address.
void SetWindowEnds(ChipSettings& chip);

// Takes a loaded project's header over: chip name, vendor, start addresses and sizes (ChipSelected set),
// the load statistics and checksums, and the flash and EEP bytes into the images.
void ApplyProjectData(const ProjectData& data, ChipSettings& chip, MemoryImage& image);

// The window's settings kept in the configuration block.
struct ProjectWindowValues {
  uint8_t AutoDetect = 0;  // 15 when ChkBoxAuto was checked
  uint8_t VddTime10 = 0, ResetTime10 = 0, InsertTime30 = 0, RemoveTime30 = 0;
  uint8_t CountSerialFlags = 0;  // bit 0 serial numbers, 2 big-endian, 6 count limited
  uint8_t SerialLength = 0;
  uint32_t MaxCount = 0;
  uint32_t SerialAddress = 0;
  uint32_t SerialStart = 0;
};

// Restores the settings of a configuration block: the chip settings it carries, the six image checksums
// and OptionData[0..331]; recomputes FlashEnd and EepEnd. Returns the window's settings. Safe to run
// again after the chip selection has reset the chip settings.
ProjectWindowValues RestoreFromConfigBlock(const ProjectConfigBlock& block, ChipSettings& chip,
                                           MemoryImage& image);

// Main-window control values after a successful load. Radio-group items the flags name but the group
// lacks are -1 (no item); a later settings capture writes them back as they were stored.
struct ProjectControls {
  bool ChkBoxBlkEr = false;
  int RadioGpVolt = 1;
  int RadioGrpSpdF = 1;
  bool BlankValueIsZero = false;  // ChipSettings::BlankValueIsZero, no control
  int RadioGrpRST = 0;
  bool ChkBoxVDD = true;
  bool CheckBoxRun = false;
  bool ChkBoxCCX = false;
  bool ChkBoxRunSHT = false;
  bool CheckBoxOpt = false;  // and the program-option flag
  bool ChkBoxAuto = false;
  int64_t SpinEditIn = 0, SpinEditOut = 0, SpinEditVddTim = 0, SpinEditPWDTim = 0, SpinEditNum = 0;
  bool CheckBoxCtrl = false;
  bool CheckBoxSN = false;
  bool SNOrderChk = false;
  bool ChkBoxSNDP = false;
  std::string GainEdit, SNEdit1, AddrEdit;
  int RadioGrpBKF = 0;
};

ProjectControls ControlsAfterLoad(const ChipSettings& chip, const ProjectWindowValues& window,
                                  const ProjectData& data);

}  // namespace tarvel
