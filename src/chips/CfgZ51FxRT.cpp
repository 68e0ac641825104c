#include "chips/CfgZ51FxRT.h"

#include <array>

#include "base/Format.h"

namespace tarvel {
namespace {

constexpr std::string_view kRopItems[] = {"0 : Disable Read Protection", "1 : Enable Read Protectionp"};
constexpr std::string_view kHlckItems[] = {"0 : Disable Hard-lock", "1 : Enable Hard-lock"};
constexpr std::string_view kRstbItems[] = {"0 P55 port", "1 RESETB port with a pull-up resistor"};
constexpr std::string_view kPaenItems[] = {"0 : Disable Protection (Erasable by instruction)",
                                           "1 : Enable Protection (Not erasable by instruction)"};
constexpr std::string_view kPassItems[] = {
    "0 0 : 3.8k Bytes (Address 0100H - 0FFFH)", "0 1 : 1.7k Bytes (Address 0100H - 07FFH)",
    "1 0 : 768 Bytes (Address 0100H - 03FFH)", "1 1 : 256 Bytes (Address 0100H - 01FFH)"};

constexpr uint16_t kL = 0, kH = 1;
constexpr BitField kZ51fLayout[] = {
    {"ComBoxROP", "Read Protection:   ", kH, 7, 1, kRopItems},
    {"ComBoxHLCK", "Hard-Lock:   ", kH, 6, 1, kHlckItems},
    {"ComBoxRSTB", "RESETB Select:  ", kH, 0, 1, kRstbItems},
    {"ComBoxPAEN", "Protection Area Enable/Disable: ", kL, 2, 1, kPaenItems},
    {"ComBoxPASS", "Protection Area Size Select:  ", kL, 0, 2, kPassItems},
};

}  // namespace

std::span<const BitField> Z51fLayout() { return kZ51fLayout; }

TZ51FxCfgOpbF::TZ51FxCfgOpbF(ChipSettings& chip, std::span<uint8_t> optionData)
    : BitFieldForm("Z51Fxx Option Byte Set.", kZ51fLayout, "BitBtn2", "BitBtn1"),
      chip_(chip),
      bytes_(optionData.subspan(kZ51fOptionPosition, 2)) {}

void TZ51FxCfgOpbF::FormShow() {
  OptionChanged = false;
  decodeLists(bytes_);
}

void TZ51FxCfgOpbF::OkClick() {
  // Bits without a list are written as 0.
  std::array<uint8_t, 2> b{};
  encodeLists(b);
  if (b[kH] != bytes_[kH] || b[kL] != bytes_[kL]) OptionChanged = true;
  bytes_[kL] = b[kL];
  bytes_[kH] = b[kH];
  chip_.ConfigByte0 = b[kL];
  chip_.ConfigByte1 = b[kH];
}

void ReportOptionPage64(int channel, std::span<const uint8_t> payload, InfoLog& log) {
  if (!OptionReplyComplete(channel, payload, kOptionPage64ReportBytes, log)) return;
  log.MainMessage(Format("Read Chip %d Option Byte : ", channel + 1));
  for (size_t r = 0; r < 4; ++r) {
    std::string line = Format("  0x%0.2x:", r * 16);
    for (size_t i = 0; i < 16; ++i) line += Format(" %0.2x", payload[r * 16 + i]);
    log.Line(line);
  }
}

}  // namespace tarvel
