// TCfgKF32xxFrm: the configuration area of ChipON KF32 chips (vendor 5, ChipSubtype bit 7 set), target
// 0x0C001000.. mirrored in OptionData: the encryption word at 0..3 with its fill byte at 1024..1027 and
// the chip-mode word at 2048..2051, words little-endian. ConfigByte0 and ConfigByte1 carry the chosen
// encryption level and chip mode (0..3). Also the decoding of a loaded area and the vendor 5 report.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/Controls.h"
#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "chips/ChipSettings.h"
#include "chips/OptionFields.h"

namespace tarvel {

inline constexpr size_t kKf32EncryptionPosition = 0;
inline constexpr size_t kKf32FillPosition = 1024;
inline constexpr size_t kKf32ModePosition = 2048;

struct Kf32Level {
  std::string_view item;      // RadioGrpEncry
  uint32_t word;
  uint8_t fill;               // the four bytes at 1024..1027
  std::string_view decoded;   // in the decoding line
  std::string_view reported;  // in the read report
};

struct Kf32Mode {
  std::string_view item;  // RadioGrpCpMod
  uint32_t word;
  std::string_view decoded;
  std::string_view reported;
};

extern const std::array<Kf32Level, 4> kKf32Levels;
extern const std::array<Kf32Mode, 4> kKf32Modes;

bool IsKf32Chip(const ChipSettings& chip);

class TCfgKF32xxFrm : public OptionDialog {
 public:
  TCfgKF32xxFrm(ChipSettings& chip, std::span<uint8_t> optionData);

  std::string_view formName() const override { return "TCfgKF32xxFrm"; }
  // Selects the level and mode the configuration bytes hold. Moving a group away from its first item
  // counts as a change, so a chip whose bytes are set opens with OptionChanged already set.
  void FormShow() override;
  bool setControl(std::string_view control, std::string_view value) override;
  // Writes both configuration bytes and the words (and fill bytes) of the chosen level and mode.
  void OkClick() override;
  std::vector<Control*> Controls() override;

  void RadioGrpEncryClick() { OptionChanged = true; }
  void RadioGrpCpModClick() { OptionChanged = true; }

  RadioGroup RadioGrpEncry;
  RadioGroup RadioGrpCpMod;
  ButtonControl BitBtnOK{"BitBtnOK", "OK"};
  ButtonControl BitBtnCNL{"BitBtnCNL", "Cancel"};

 private:
  std::pair<const ButtonControl*, const ButtonControl*> okCancel() const override { return {&BitBtnOK, &BitBtnCNL}; }
  ChipSettings& chip_;
  std::span<uint8_t> option_;
};

// For a KF32 chip, sets ConfigByte0 and ConfigByte1 from the words in OptionData (a word not in the
// tables counts as level 0 or mode 0) and writes the "芯片模式和加密设置为：" line. Run it after a load (the
// configuration view refreshed first) and when the settings are collected before a download. Returns
// false and does nothing for any other chip.
bool DecodeKf32Config(ChipSettings& chip, std::span<const uint8_t> optionData, InfoLog& log);

// The vendor 5 report of a configuration read back: an empty line, then for KF32 the encryption and mode
// line (reply bytes 0..3 and 64..67), for KF8 the configuration word line (reply bytes 1 and 0).
inline constexpr size_t kKf32ReportBytes = 68;
inline constexpr size_t kKf8ReportBytes = 2;
void ReportChipOnOptionBytes(const ChipSettings& chip, int channel, std::span<const uint8_t> payload, InfoLog& log);

}  // namespace tarvel
