#include "ops/ConfigSN.h"

#include <cctype>
#include <charconv>

#include "base/Format.h"
#include "base/GbkText.h"
#include "base/Numbers.h"

namespace tarvel {
namespace {

constexpr const char* kNoData = "请输入有效的序列号数据!";

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool SetCommon(std::string_view control, std::string_view value, EditControl& address, RadioGroup& format,
               EditControl& data) {
  if (control == address.name) {
    address.text = value;
  } else if (control == data.name) {
    data.text = Upper(value);  // the field shows what is typed in upper case
  } else if (control == format.name && (value == "0" || value == "1")) {
    format.itemIndex = value == "1" ? 1 : 0;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> SerialDataBytes(const std::string& text, bool hexadecimal) {
  if (!hexadecimal) {
    std::string gbk;
    try {
      gbk = Utf8ToGbk(text);
    } catch (const TextConversionError&) {
      for (unsigned char c : text) gbk.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return std::vector<uint8_t>(gbk.begin(), gbk.end());
  }
  std::vector<uint8_t> bytes;
  unsigned value = 0;
  bool inGroup = false;
  for (char c : text) {
    if (c == ' ') {
      if (inGroup) bytes.push_back(static_cast<uint8_t>(value));
      value = 0;
      inGroup = false;
      continue;
    }
    unsigned digit = 0;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    value = (value * 16 + digit) & 0xFF;
    inGroup = true;
  }
  if (inGroup) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

void TConfigSNForm::FormShow() {
  AddrEditSN.text = Format("0x%0.8x", chip_.FlashStart);
  RadioGroupFM.itemIndex = 0;
  RadioGrpSN.itemIndex = 0;
  written = -1;
}

void TConfigSNForm::RadioGrpSNClick() {
  AddrEditSN.text = Format("0x%0.8x", RadioGrpSN.itemIndex == 0 ? chip_.FlashStart : chip_.EepStart);
}

bool TConfigSNForm::setControl(std::string_view control, std::string_view value) {
  if (control == RadioGrpSN.name) {
    if (value != "0" && value != "1") return false;
    RadioGrpSN.itemIndex = value == "1" ? 1 : 0;
    RadioGrpSNClick();
    return true;
  }
  return SetCommon(control, value, AddrEditSN, RadioGroupFM, EditDataSN);
}

void TConfigSNForm::OkClick() {
  written = -1;
  if (EditDataSN.text.empty()) {
    dialogs_.plain(kNoData);
    return;
  }
  const uint32_t d = static_cast<uint32_t>(StrToInt(AddrEditSN.text));
  const std::vector<uint8_t> bytes = SerialDataBytes(EditDataSN.text, RadioGroupFM.itemIndex == 1);
  if (RadioGrpSN.itemIndex == 0) {
    for (size_t i = 0; i < bytes.size(); ++i)
      image_.FlashImage[(d + static_cast<uint32_t>(i) - chip_.FlashStart) & kFlashRowIndexMask] = bytes[i];
    written = 0;
  } else {
    // Data for the EEP area goes into the EEP image, where the units take their EEP data from.
    for (size_t i = 0; i < bytes.size(); ++i) {
      const int64_t at = static_cast<int64_t>(d) + static_cast<int64_t>(i) - chip_.EepStart;
      if (at >= 0 && at < static_cast<int64_t>(image_.EepImage.size())) image_.EepImage[static_cast<size_t>(at)] = bytes[i];
    }
    written = 1;
  }
}

bool THolySNxUIDxFRM::setControl(std::string_view control, std::string_view value) {
  return SetCommon(control, value, AddrEditSN, RadioGroupFM, EditDataSN);
}

void THolySNxUIDxFRM::OkClick() {
  written = false;
  if (EditDataSN.text.empty()) {
    dialogs_.plain(kNoData);
    return;
  }
  const uint32_t address = static_cast<uint32_t>(StrToInt(AddrEditSN.text));
  const std::vector<uint8_t> bytes = SerialDataBytes(EditDataSN.text, RadioGroupFM.itemIndex == 1);
  for (size_t i = 0; i < bytes.size(); ++i)
    if (address + i < image_.OptionData.size()) image_.OptionData[address + i] = bytes[i];
  written = true;
}

}  // namespace tarvel
