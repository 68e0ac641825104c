#include "chips/CfgAbovRT.h"

#include <array>

#include "image/MemoryImage.h"

namespace tarvel {
namespace {

constexpr std::string_view kCrpItems[] = {"0 : Disable Read Protection", "1 : Enable Read Protectionp"};
constexpr std::string_view kCwpItems[] = {"0 : Disable Write Protection ", "1 : Enable Write Protection "};
constexpr std::string_view kProtectionItems[] = {"0 : Disable Protection (Erasable by instruction)",
                                                 "1 : Enable Protection (Not erasable by instruction)"};
constexpr std::string_view kRstpItems[] = {"0 : Disable RESETB pin (P55)", "1 : Enable RESETB pin with a pull-up resistor"};
constexpr std::string_view kSsawpItems[] = {
    "0 0 0: 0.7k Bytes (Address 0100H -03FFH)",  "0 0 1: 1.7k Bytes (Address 0100H -07FFH)",
    "0 1 0: 2.7k Bytes (Address 0100H -0BFFH)",  "0 1 1: 3.7k Bytes (Address 0100H -0FFFH)",
    "1 0 0: 29.7k Bytes (Address 0100H -77FFH)", "1 0 1: 30.7k Bytes (Address 0100H -7BFFH)",
    "1 1 0: 31.2k Bytes (Address 0100H -7DFFH)", "1 1 1: 31.5k Bytes (Address 0100H -7EFFH)"};

constexpr uint16_t kL = 0, kH = 1;
constexpr BitField kAbovLayout[] = {
    {"ComBoxCRP", "Code Read Protection:   ", kH, 7, 1, kCrpItems},
    {"ComBoxCWP", "Code Write Protection:   ", kH, 6, 1, kCwpItems},
    {"ComBoxVAP", "Vectoe Area Protection:  ", kH, 4, 1, kProtectionItems},
    {"ComBoxRSTP", "Select RESETB Pin:  ", kH, 0, 1, kRstpItems},
    {"ComBoxSAWP", "Specific Area Write Protection:  ", kL, 3, 1, kProtectionItems},
    {"ComBoxSSAWP", "Select Specific Area for Write Protection:  ", kL, 0, 3, kSsawpItems},
};

}  // namespace

std::optional<size_t> AbovOptionPosition(uint16_t pageSize) {
  if (pageSize < 2 || pageSize > kOptionDataSize) return std::nullopt;
  return pageSize - 2u;
}

std::span<const BitField> AbovLayout() { return kAbovLayout; }

TCfgAbovOpbF::TCfgAbovOpbF(ChipSettings& chip, std::span<uint8_t> optionData)
    : BitFieldForm("Config Abov Chip Options", kAbovLayout, "BitBtn2", "BitBtn1"),
      chip_(chip),
      bytes_(optionData.subspan(AbovOptionPosition(chip.PageSize).value(), 2)) {}

void TCfgAbovOpbF::FormShow() {
  OptionChanged = false;
  decodeLists(bytes_);
}

void TCfgAbovOpbF::OkClick() {
  // Bits without a list are written as 0.
  std::array<uint8_t, 2> b{};
  encodeLists(b);
  if (b[kH] != 0 || b[kL] != 0) OptionChanged = true;
  bytes_[kL] = b[kL];
  bytes_[kH] = b[kH];
  chip_.ConfigByte0 = b[kL];
  chip_.ConfigByte1 = b[kH];
}

}  // namespace tarvel
