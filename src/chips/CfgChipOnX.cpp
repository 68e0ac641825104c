#include "chips/CfgChipOnX.h"

#include <array>

namespace tarvel {
namespace {

constexpr std::string_view kWdtItems[] = {"WDTEN=0 禁止WDT", "WDTEN=1 使能WDT"};
constexpr std::string_view kRstItems[] = {"RSTEN=0 P0.3/引脚功能为数字输入口RSTRST", "RSTEN=1 P0.3/引脚配置为外部复位输入 "};
constexpr std::string_view kLvrItems[] = {"LVREN =0 禁止欠压检查功能", "LVREN =1 使能欠压检查功能 "};
constexpr std::string_view kCpItems[] = {"CODEP=0 使能程序存储器代码保护", "CODEP=1 禁止程序存储器代码保护 "};
constexpr std::string_view kSwrItems[] = {"SWRTEN =0 禁止写保护，此时BLOCK EEPROM可写，(可读) ",
                                          "SWRTEN =1 使能写保护，此时BLOCK EEPROM不能写操作,(可读) "};
constexpr std::string_view kDbgItems[] = {"DEBUG=0 使能在线调试", "DEBUG=1 禁止在线调试"};

constexpr BitField kKf8Layout[] = {
    {"ComBoxWDT", "WDTEN :   ", 0, 3, 1, kWdtItems},
    {"ComBoxRST", "RSTEN :   ", 0, 5, 1, kRstItems},
    {"ComBoxLVR", "LVREN :   ", 0, 6, 1, kLvrItems},
    {"ComBoxCP", "CODEP:   ", 0, 7, 1, kCpItems},
    {"ComboxSWR", "SWRTEN:   ", 1, 1, 1, kSwrItems},
    {"ComBoxDBG", "DEBUG:   ", 1, 2, 1, kDbgItems},
};

}  // namespace

std::span<const BitField> ChipOnKf8Layout() { return kKf8Layout; }

TCfgChipOnXxF::TCfgChipOnXxF(ChipSettings& chip)
    : BitFieldForm(kChipOnCaption, kKf8Layout, "BitBtnOK", "BitBtnCNL"), chip_(chip) {}

void TCfgChipOnXxF::FormShow() {
  OptionChanged = false;
  const std::array<uint8_t, 2> b{chip_.ConfigByte0, chip_.ConfigByte1};
  decodeLists(b);
}

void TCfgChipOnXxF::OkClick() {
  std::array<uint8_t, 2> b{0xFF, 0xFF};
  encodeLists(b);
  chip_.ConfigByte0 = b[0];
  chip_.ConfigByte1 = b[1];
}

}  // namespace tarvel
