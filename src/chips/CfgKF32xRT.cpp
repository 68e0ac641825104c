#include "chips/CfgKF32xRT.h"

#include <algorithm>

#include "base/Format.h"
#include "chips/CfgChipOnX.h"

namespace tarvel {

const std::array<Kf32Level, 4> kKf32Levels = {{
    {"不加密: 0xA5A5_5A5A", 0xA5A55A5A, 0xFF, "不加密！", "没有加密, "},
    {"加密A : 0xF1A5_0E5A 必须先MASE 擦除FLASH，才能解锁读/写操作", 0xF1A50E5A, 0x5A, "加密A！", "加密A, "},
    {"加密C : 0xF4F3_F2F1 必须先MASE 擦除FLASH，才能解锁读/写操作", 0xF4F3F2F1, 0xFF, "加密C！", "加密C, "},
    {"加密D : 0x4321_BCDE 必须先MASE 擦除FLASH，才能解锁读/写操作", 0x4321BCDE, 0xFF, "加密D！", "加密D, "},
}};

const std::array<Kf32Mode, 4> kKf32Modes = {{
    {"NO_SET : 0xFFFF_FFFF", 0xFFFFFFFF, "NO_SET", "MODE = NO_SET."},
    {"NO_ISP : 0x8765_4321", 0x87654321, " NO_ISP.", "MODE = No_ISP."},
    {"ODMOD  : 0x1234_5678", 0x12345678, " ODMOD.", "MODE = ODMOD."},
    {"ODMOD+NO_ISP : 0x4321_8765", 0x43218765, "ODMOD+NO_ISP.", "MODE = ODMOD+NO_ISP."},
}};

namespace {

constexpr char kDecodedPrefix[] = "芯片模式和加密设置为：";
constexpr char kReportPrefix[] = "Chip %d 加密和模式设置为 ：";
constexpr char kUnknownModeReport[] = "MODE = 0x%0.8x.";

uint32_t Word(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}

void PutWord(std::span<uint8_t> b, size_t at, uint32_t w) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(w >> (8 * i));
}

// The table entry holding `word`; -1 when none does.
template <class Table>
int FindWord(const Table& table, uint32_t word) {
  for (size_t i = 0; i < table.size(); ++i)
    if (table[i].word == word) return static_cast<int>(i);
  return -1;
}

template <class Table>
std::vector<std::string> Items(const Table& table) {
  std::vector<std::string> items;
  for (const auto& e : table) items.emplace_back(e.item);
  return items;
}

// A configuration byte from a project or an older selection may hold anything; outside the table it
// shows the first item, as an unknown word decodes.
int ItemOf(uint8_t configByte) { return configByte < 4 ? configByte : 0; }

}  // namespace

bool IsKf32Chip(const ChipSettings& chip) { return chip.VendorIndex == 5 && (chip.ChipSubtype & 0x80) != 0; }

TCfgKF32xxFrm::TCfgKF32xxFrm(ChipSettings& chip, std::span<uint8_t> optionData)
    : OptionDialog(kChipOnCaption),
      RadioGrpEncry("RadioGrpEncry", "加密控制", Items(kKf32Levels), 0),
      RadioGrpCpMod("RadioGrpCpMod", "芯片模式", Items(kKf32Modes), 0),
      chip_(chip),
      option_(optionData) {}

void TCfgKF32xxFrm::FormShow() {
  OptionChanged = false;
  RadioGrpEncry.itemIndex = 0;
  RadioGrpCpMod.itemIndex = 0;
  setControl(RadioGrpEncry.name, std::to_string(ItemOf(chip_.ConfigByte0)));
  setControl(RadioGrpCpMod.name, std::to_string(ItemOf(chip_.ConfigByte1)));
}

bool TCfgKF32xxFrm::setControl(std::string_view control, std::string_view value) {
  RadioGroup* group = control == RadioGrpEncry.name ? &RadioGrpEncry : control == RadioGrpCpMod.name ? &RadioGrpCpMod : nullptr;
  if (!group) return false;
  const int item = ListItemFromText(group->items, value);
  if (item < 0) return false;
  if (item == group->itemIndex) return true;
  group->itemIndex = item;
  if (group == &RadioGrpEncry)
    RadioGrpEncryClick();
  else
    RadioGrpCpModClick();
  return true;
}

void TCfgKF32xxFrm::OkClick() {
  const Kf32Level& level = kKf32Levels[static_cast<size_t>(RadioGrpEncry.itemIndex)];
  const Kf32Mode& mode = kKf32Modes[static_cast<size_t>(RadioGrpCpMod.itemIndex)];
  chip_.ConfigByte0 = static_cast<uint8_t>(RadioGrpEncry.itemIndex);
  chip_.ConfigByte1 = static_cast<uint8_t>(RadioGrpCpMod.itemIndex);
  PutWord(option_, kKf32EncryptionPosition, level.word);
  std::fill_n(option_.begin() + kKf32FillPosition, 4, level.fill);
  PutWord(option_, kKf32ModePosition, mode.word);
}

std::vector<Control*> TCfgKF32xxFrm::Controls() { return {&RadioGrpEncry, &RadioGrpCpMod, &BitBtnOK, &BitBtnCNL}; }

bool DecodeKf32Config(ChipSettings& chip, std::span<const uint8_t> optionData, InfoLog& log) {
  if (!IsKf32Chip(chip) || optionData.size() < kKf32ModePosition + 4) return false;
  chip.ConfigByte0 = static_cast<uint8_t>(std::max(0, FindWord(kKf32Levels, Word(optionData, kKf32EncryptionPosition))));
  chip.ConfigByte1 = static_cast<uint8_t>(std::max(0, FindWord(kKf32Modes, Word(optionData, kKf32ModePosition))));
  std::string line = kDecodedPrefix;
  line += kKf32Levels[chip.ConfigByte0].decoded;
  line += kKf32Modes[chip.ConfigByte1].decoded;
  log.MainMessage(line);
  return true;
}

void ReportChipOnOptionBytes(const ChipSettings& chip, int channel, std::span<const uint8_t> payload, InfoLog& log) {
  const bool kf32 = (chip.ChipSubtype & 0x80) != 0;
  log.Line();
  if (!OptionReplyComplete(channel, payload, kf32 ? kKf32ReportBytes : kKf8ReportBytes, log)) return;
  if (!kf32) {
    log.MainMessage(Format("Read Chip %d Option Byte : 0x%0.2x%0.2x.", channel + 1, payload[1], payload[0]));
    return;
  }
  const int level = std::max(0, FindWord(kKf32Levels, Word(payload, 0)));
  const uint32_t modeWord = Word(payload, 64);
  const int mode = FindWord(kKf32Modes, modeWord);
  std::string line = Format(kReportPrefix, channel + 1);
  line += kKf32Levels[static_cast<size_t>(level)].reported;
  // A mode word outside the table is shown as it is rather than named as a mode the chip is not in.
  line += mode >= 0 ? std::string(kKf32Modes[static_cast<size_t>(mode)].reported) : Format(kUnknownModeReport, modeWord);
  log.MainMessage(line);
}

}  // namespace tarvel
