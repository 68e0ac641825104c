// THC8AT3XCfgFRM: the option page of HC8AT3541 chips (vendor 6), mirrored at OptionData[32..95]: the new
// password at 32..35 (little-endian), the reset, BOR and WDT settings at 49, 56, 57 and 58, the second
// reset vector code at 62 and its complement at 63; and OldPassword, the password the chip holds now.
// Also the 384-byte report of the page read back.
#pragma once

#include <array>

#include "base/InfoLog.h"
#include "chips/ChipSettings.h"
#include "chips/OptionFields.h"

namespace tarvel {

inline constexpr size_t kHc8atNewPasswordPosition = 32;
inline constexpr size_t kHc8atVectorPosition = 62;  // the complement follows

struct Hc8atVector {
  std::string_view item;
  uint8_t code;
};
extern const std::array<Hc8atVector, 6> kHc8atVectors;

// The lists of the four settings; bytes are OptionData positions, each setting a whole byte.
std::span<const BitField> Hc8atLayout();

class THC8AT3XCfgFRM : public BitFieldForm {
 public:
  THC8AT3XCfgFRM(ChipSettings& chip, std::span<uint8_t> optionData);

  std::string_view formName() const override { return "THC8AT3XCfgFRM"; }
  void FormShow() override;
  // The passwords take at most 10 characters, as their edits do.
  bool setControl(std::string_view control, std::string_view value) override;
  // Both password texts are read first: one that is not a number throws ConversionError before anything
  // is stored. Then the vector code and its complement, the four settings, the new password and
  // OldPassword. The option page is always programmed for this family: OptionChanged is set.
  void OkClick() override;
  std::vector<Control*> Controls() override;

  ComboBoxControl ComBoxRVCFG{"ComBoxRVCFG", "第二复位向量配置:  ", ""};
  EditControl EditPSWN{"EditPSWN", "新密码：   ", "", 10};
  EditControl EditPSWO{"EditPSWO", "旧密码：   ", "", 10};

 private:
  ChipSettings& chip_;
  std::span<uint8_t> option_;
};

// "Read Chip n Option Byte : " and 24 rows of 16 bytes in groups of four.
inline constexpr size_t kHc8atReportBytes = 384;
void ReportHc8atOptionPage(int channel, std::span<const uint8_t> payload, InfoLog& log);

}  // namespace tarvel
