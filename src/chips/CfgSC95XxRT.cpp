#include "chips/CfgSC95XxRT.h"

#include <algorithm>

#include "base/Format.h"

namespace tarvel {
namespace {

constexpr std::string_view kRopItems[] = {"0x96 ------- 未加密（可读）", "0xFF -------- 加密（不可读）", ""};
constexpr std::string_view kLvrsItems[] = {"00： 1.9V复位", "01： 2.9V复位", "10： 3.7V复位", "11： 4.3V 复位"};
constexpr std::string_view kDlvrItems[] = {"0：LVR正常使用", "1：LVR无效"};
constexpr std::string_view kDrstItems[] = {"0 ：P5.2 当复位脚使用", "1 ：P5.2当正常的I/O 管脚使用"};
constexpr std::string_view kSclkItems[] = {
    "00：系统时钟频率为高频振荡器频率除以1；", "01：系统时钟频率为高频振荡器频率除以2；",
    "10：系统时钟频率为高频振荡器频率除以4；", "11：系统时钟频率为高频振荡器频率除以8。"};
constexpr std::string_view kExtlItems[] = {"0：外部高频晶振关闭，P5.0、P5.1有效；", "1：外部高频晶振打开，P5.0、P5.1无效。"};
constexpr std::string_view kWdteItems[] = {"0：WDT无效 ", "1：WDT有效（但IC在执行IAP过程中WDT停止计数） \t"};
constexpr std::string_view kLdszItems[] = {
    "00: 无LDROM，APROM地址为00000H~1FFFFH  ",
    "01: Flash ROM最后1K APROM区域为LDROM，APROM地址为00000H~1FBFFH  ",
    "10: Flash ROM最后2K APROM区域为LDROM，APROM地址为00000H~1F7FFH  ",
    "11: Flash ROM最后4K APROM区域为LDROM，APROM地址为00000H~1EFFFH", ""};
constexpr std::string_view kIapItems[] = {
    "00: 最后1K Code区域允许IAP操作(FC00H ~FFFFH)", "01: 最后2K Code区域允许IAP操作(F800H ~FFFFH)",
    "10: 最后4K Code区域允许IAP操作(F000H~FFFFH)", "11: 全部Code区域允许IAP操作(0000H~FFFFH)"};
constexpr std::string_view kJtagItems[] = {"0：P1.1、P1.3作为tCK/tDIO使用", "1：P1.1、P1.3作为正常的IO使用"};
constexpr std::string_view kOpblItems[] = {"0：芯片复位后进入APROM", "1：芯片复位后进入LDROM；"};
constexpr std::string_view kVrefItems[] = {"00：设定ADC的VREF为VDD  ", "01：设定ADC的VREF为内部准确的2.048V  ",
                                           "10：设定ADC的VREF为内部准确的1.024V  ", "11：保留\t"};

// Byte 2 is configuration byte A, byte 3 configuration byte B.
constexpr BitField kSc95Layout[] = {
    {"ComBoxLVRS", "LVR电压选择控制", 2, 0, 2, kLvrsItems},
    {"ComBoxDLVR", "LVR使能设置", 2, 2, 1, kDlvrItems},
    {"ComBoxDRST", "复位切换控制", 2, 3, 1, kDrstItems},
    {"ComBoxSCLK", "系统时钟频率选择", 2, 4, 2, kSclkItems},
    {"ComBoxEXTL", "外部高频晶振选择开关", 2, 6, 1, kExtlItems},
    {"ComBoxWDTE", "WDT开关", 2, 7, 1, kWdteItems},
    {"ComBoxLDSZ", "LDROM空间范围选择", 3, 0, 2, kLdszItems},
    {"ComBoxIAP", "IAP空间范围选择", 3, 2, 2, kIapItems},
    {"ComBoxJTAG", "IO/JTAG口切换控制", 3, 4, 1, kJtagItems},
    {"ComBoxOPBL", "程序运行区域控制位", 3, 5, 1, kOpblItems},
    {"ComBoxVREF", "参考电压选", 3, 6, 2, kVrefItems},
};

// The units program OptionData[0..511] for this family.
constexpr size_t kSc9xProgrammedBytes = 512;

}  // namespace

std::span<const BitField> Sc95Layout() { return kSc95Layout; }

Sc9xOptionForm::Sc9xOptionForm(ChipSettings& chip, std::span<uint8_t> optionData, std::span<const BitField> layout)
    : BitFieldForm("SC9x Option Byte Set.", layout, "BitBtnOK", "BitBtnNG"), chip_(chip), option_(optionData) {
  ComBoxROP.items.assign(std::begin(kRopItems), std::end(kRopItems));
  SelectListItem(ComBoxROP, 0);
}

void Sc9xOptionForm::FormShow() {
  SelectListItem(ComBoxROP, option_[1] != kSc9xReadable ? 1 : 0);
  decodeLists(option_.first(4));
}

bool Sc9xOptionForm::setControl(std::string_view control, std::string_view value) {
  if (control != ComBoxROP.name) return BitFieldForm::setControl(control, value);
  const int item = ListItemFromText(ComBoxROP.items, value);
  if (item < 0) return false;
  SelectListItem(ComBoxROP, item);
  return true;
}

void Sc9xOptionForm::OkClick() {
  option_[0] = kSc9xLeadByte;
  option_[1] = ComBoxROP.itemIndex == 0 ? kSc9xReadable : kSc9xProtected;
  option_[2] = option_[3] = 0;
  encodeLists(option_.first(4));
  chip_.ConfigByte0 = option_[2];
  chip_.ConfigByte1 = option_[3];
  const auto rest = option_.subspan(2, std::min(option_.size(), kSc9xProgrammedBytes) - 2);
  OptionChanged = option_[1] != kSc9xReadable || std::any_of(rest.begin(), rest.end(), [](uint8_t b) { return b != 0; });
}

std::vector<Control*> Sc9xOptionForm::Controls() {
  std::vector<Control*> all = BitFieldForm::Controls();
  all.insert(all.begin(), &ComBoxROP);
  return all;
}

void ReportSc9xOptionBytes(int channel, std::span<const uint8_t> payload, InfoLog& log) {
  if (!OptionReplyComplete(channel, payload, kSc9xReportBytes, log)) return;
  std::string line = Format("Read Chip %d Option Byte : ", channel + 1);
  for (size_t i = 0; i < kSc9xReportBytes; ++i) line += Format("0x%0.2x ", payload[i]);
  log.MainMessage(line);
}

}  // namespace tarvel
