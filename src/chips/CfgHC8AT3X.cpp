#include "chips/CfgHC8AT3X.h"

#include "base/Format.h"
#include "base/Numbers.h"

namespace tarvel {

const std::array<Hc8atVector, 6> kHc8atVectors = {{
    {"0x000000", 0x00},
    {"0x040000", 0x90},
    {"0x060000", 0x98},
    {"0x070000", 0x9C},
    {"0x078000", 0x9E},
    {"0x07C000", 0x9F},
}};

namespace {

constexpr std::string_view kRstsItems[] = {"0：P2.4 为外部复位引脚（默认）", "1：P2.4 为普通IO 引脚"};
constexpr std::string_view kRsttmItems[] = {"0：8ms（默认）", "1：4ms", "2：1ms", "3：16ms"};
constexpr std::string_view kBorvItems[] = {"0：1.8V（默认）", "1：2.0V", "2：2.4V", "3：2.6V",
                                           "4：3.0V",         "5：3.6V", "6：3.9V", "7：4.2V"};
constexpr std::string_view kWdteItems[] = {"0：使能WDT 复位功能", "1：禁止WDT 复位功能"};

constexpr BitField kHc8atLayout[] = {
    {"ComBoxRSTS", "外部复位使能:   ", 49, 0, 1, kRstsItems},
    {"ComBoxRSTTM", "复位后等待时间:   ", 56, 0, 2, kRsttmItems},
    {"ComBoxBORV", "BOR 复位电压选择:  ", 57, 0, 3, kBorvItems},
    {"ComBoxWDTE", "WDT 复位功能使能: ", 58, 0, 1, kWdteItems},
};

// A code the table does not hold shows the last vector.
constexpr int kUnknownVectorItem = 5;

size_t CharacterCount(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::span<const BitField> Hc8atLayout() { return kHc8atLayout; }

THC8AT3XCfgFRM::THC8AT3XCfgFRM(ChipSettings& chip, std::span<uint8_t> optionData)
    : BitFieldForm("Z51Fxx Option Byte Set.", kHc8atLayout, "BitBtn2", "BitBtn1"), chip_(chip), option_(optionData) {
  for (const Hc8atVector& v : kHc8atVectors) ComBoxRVCFG.items.emplace_back(v.item);
  SelectListItem(ComBoxRVCFG, 0);
}

void THC8AT3XCfgFRM::FormShow() {
  OptionChanged = true;
  decodeLists(option_);
  int vector = kUnknownVectorItem;
  for (size_t i = 0; i < kHc8atVectors.size(); ++i)
    if (kHc8atVectors[i].code == option_[kHc8atVectorPosition]) vector = static_cast<int>(i);
  SelectListItem(ComBoxRVCFG, vector);
  const size_t p = kHc8atNewPasswordPosition;
  const uint32_t password = static_cast<uint32_t>(option_[p]) | static_cast<uint32_t>(option_[p + 1]) << 8 |
                            static_cast<uint32_t>(option_[p + 2]) << 16 | static_cast<uint32_t>(option_[p + 3]) << 24;
  EditPSWN.text = Format("0x%0.8x", password);
  EditPSWO.text = Format("0x%0.8x", chip_.OldPassword);
}

bool THC8AT3XCfgFRM::setControl(std::string_view control, std::string_view value) {
  if (control == ComBoxRVCFG.name) {
    const int item = ListItemFromText(ComBoxRVCFG.items, value);
    if (item < 0) return false;
    SelectListItem(ComBoxRVCFG, item);
    return true;
  }
  for (EditControl* edit : {&EditPSWN, &EditPSWO}) {
    if (control != edit->name) continue;
    if (CharacterCount(value) > static_cast<size_t>(edit->maxLength)) return false;
    edit->text = value;
    return true;
  }
  return BitFieldForm::setControl(control, value);
}

void THC8AT3XCfgFRM::OkClick() {
  // Read both passwords before storing anything, so that a mistyped one leaves the page and OldPassword
  // as they were instead of half applied.
  const uint32_t newPassword = static_cast<uint32_t>(StrToInt(EditPSWN.text));
  const uint32_t oldPassword = static_cast<uint32_t>(StrToInt(EditPSWO.text));
  OptionChanged = true;
  const uint8_t code = kHc8atVectors[static_cast<size_t>(ComBoxRVCFG.itemIndex)].code;
  option_[kHc8atVectorPosition] = code;
  option_[kHc8atVectorPosition + 1] = static_cast<uint8_t>(~code);
  // Each setting owns its byte: the byte holds the item index alone.
  for (const BitField& f : kHc8atLayout) option_[f.byte] = 0;
  encodeLists(option_);
  for (size_t i = 0; i < 4; ++i) option_[kHc8atNewPasswordPosition + i] = static_cast<uint8_t>(newPassword >> (8 * i));
  chip_.OldPassword = oldPassword;
}

std::vector<Control*> THC8AT3XCfgFRM::Controls() {
  std::vector<Control*> all;
  for (ComboBoxControl& l : Lists) all.push_back(&l);
  all.insert(all.end(), {&ComBoxRVCFG, &EditPSWN, &EditPSWO, &OkButton, &CancelButton});
  return all;
}

void ReportHc8atOptionPage(int channel, std::span<const uint8_t> payload, InfoLog& log) {
  if (!OptionReplyComplete(channel, payload, kHc8atReportBytes, log)) return;
  log.MainMessage(Format("Read Chip %d Option Byte : ", channel + 1));
  for (size_t r = 0; r < kHc8atReportBytes / 16; ++r) {
    std::string line = Format("  0x%0.3x0: ", r);
    for (size_t i = 0; i < 16; ++i) {
      line += Format("%0.2x ", payload[r * 16 + i]);
      if (i % 4 == 3) line += "  ";
    }
    log.Line(line);
  }
}

}  // namespace tarvel
