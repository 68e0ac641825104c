// The operations the host drives unit by unit: the fan-out of user commands, the download, the
// programming sequence and the serial numbers it writes.
#include <algorithm>

#include "base/Format.h"
#include "image/Checksums.h"
#include "link/StatusCodes.h"
#include "ops/Commands.h"
#include "ops/UnitOperations.h"

namespace tarvel {
namespace {

uint16_t KiB(uint32_t bytes) { return static_cast<uint16_t>(bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0)); }

}  // namespace

// ---- fan-out ------------------------------------------------------------------------------------------

bool UnitOperations::FanOut(UnitCommand command, const FanOutContext& context) {
  if (command == UnitCommand::AutoProgram || command == UnitCommand::Download) log_.Line();
  if (!context.chipSelected) {
    dialogs_.information("请选择并确认芯片型号！");
    return false;
  }
  const bool needsFile = command != UnitCommand::BlankCheck && command != UnitCommand::Erase &&
                         command != UnitCommand::WriteOption;
  if (needsFile && !context.fileLoaded) {
    dialogs_.information("请加载目标文件！");
    return false;
  }
  // The automatic sequence writes the serial number captured last time, then captures anew.
  serialInImage_ = false;
  if (command == UnitCommand::AutoProgram && settings.SerialEnabled && settings.HostSerial) WriteSerialIntoImage();
  if (command != UnitCommand::Program) ApplyWindowSettings(context.window, chip_, image_, settings);
  fileLoaded = context.fileLoaded;
  objectFileName = context.objectFileName;

  for (int i = 0; i < unitCount && i < kChannelCount; ++i) {
    ProgrammerChannel& c = channel(i);
    c.link.ResetReceive();
    if (command == UnitCommand::AutoProgram)
      c.autoSequence = true;
    else if (command != UnitCommand::Download)
      c.autoSequence = false;
    if (!c.connected || c.busy) continue;
    switch (command) {
      case UnitCommand::Download: StartDownload(i); break;
      case UnitCommand::AutoProgram: startBlankCheck(i, true); break;
      case UnitCommand::BlankCheck: startBlankCheck(i, false); break;
      case UnitCommand::Erase: startErase(i, "执行芯片擦除......"); break;
      case UnitCommand::Program: startProgramFlash(i); break;
      case UnitCommand::Verify: startVerifyFlash(i); break;
      case UnitCommand::WriteOption: startWriteOption(i); break;
      case UnitCommand::WriteEep: startProgramEep(i); break;
    }
  }
  return true;
}

// ---- download -----------------------------------------------------------------------------------------

void UnitOperations::StartDownload(int ch) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::DownloadConfig;
  c.gaugeAdvance = true;
  ChannelMessage(ch, "开始下载芯片数据......");
  BeginChannelOperation(ch, kFirstReplyTicks, chip_.FlashSizeKB, false);
  ConfigBlockInput in;
  in.channel = ch;
  in.unitCount = unitCount;
  in.fileLoaded = fileLoaded;
  in.objectFileName = objectFileName;
  const ConfigBlock block = BuildConfigBlock(chip_, image_, settings, random_, in);
  SendDownloadConfig(c, chip_, random_, block);
}

void UnitOperations::onDownload(int ch, uint8_t status) {
  ProgrammerChannel& c = channel(ch);
  if (!IsSuccess(status)) {
    ReportResult(status, ch);
    return;
  }
  switch (c.state) {
    case OperationState::DownloadConfig:
      c.state = OperationState::DownloadFlash;
      c.gaugeAdvance = false;
      ChannelMessage(ch, "开始下载Main Flash数据......");
      BeginChannelOperation(ch, kFirstReplyTicks, chip_.FlashSizeKB, true);
      SendDataBlock(c, chip_, false, 0, image_.FlashImage, 0);
      return;
    case OperationState::DownloadFlash: {
      const bool more = c.stepTransfer();
      if (c.gauge) c.gauge->progress = c.position + 1;
      if (more) {
        SendDataBlock(c, chip_, false, c.position, image_.FlashImage, c.position * 1024ull);
        return;
      }
      nextDownloadStage(ch);
      return;
    }
    case OperationState::DownloadEep: {
      const bool more = c.stepTransfer();
      if (c.gauge) c.gauge->progress = c.position + 1;
      if (more) {
        SendDataBlock(c, chip_, true, c.position, image_.EepImage, c.position * 1024ull);
        return;
      }
      break;
    }
    default:
      return;
  }
  // Complete.
  ++downloadCount;
  FinishChannelOperation(ch, false);
  ChannelMessage(ch, "数据下载成功！");
  if (!noRestart) SendRestartUnit(c);
}

void UnitOperations::nextDownloadStage(int ch) {
  ProgrammerChannel& c = channel(ch);
  uint32_t bytes = 0;
  if (settings.EepEnabled) {
    ChannelMessage(ch, "开始下载EEP Data数据......");
    bytes = chip_.EepSize;
  } else if (chip_.VendorIndex == 7) {
    ChannelMessage(ch, "开始下载SBL Driver Data......");
    bytes = image_.BootDataSize;
  } else {
    ++downloadCount;
    FinishChannelOperation(ch, false);
    ChannelMessage(ch, "数据下载成功！");
    if (!noRestart) SendRestartUnit(c);
    return;
  }
  c.state = OperationState::DownloadEep;
  BeginChannelOperation(ch, kFirstReplyTicks, KiB(bytes), true);
  SendDataBlock(c, chip_, true, 0, image_.EepImage, 0);
}

// ---- the programming sequence -------------------------------------------------------------------------

void UnitOperations::startBlankCheck(int ch, bool automatic) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::BlankCheck;
  c.gaugeAdvance = true;
  ChannelMessage(ch, automatic ? "开始自动编程，执行芯片查空......" : "开始芯片查空......");
  BeginChannelOperation(ch, kFirstReplyTicks, chip_.FlashSizeKB, false);
  SendChipCommand(c, chip_, ChipSubCommand::BlankCheck, header());
}

void UnitOperations::startErase(int ch, const char* message) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::Erase;
  c.gaugeAdvance = true;
  ChannelMessage(ch, message);
  BeginChannelOperation(ch, kEraseReplyTicks, chip_.FlashSizeKB, false);
  SendChipCommand(c, chip_, ChipSubCommand::Erase, header());
}

void UnitOperations::startProgramFlash(int ch) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::ProgramFlash;
  c.gaugeAdvance = false;
  ChannelMessage(ch, "开始Main Flash编程......");
  BeginChannelOperation(ch, kFirstReplyTicks, chip_.FlashSizeKB, true);
  sendFlashProgramBlock(ch, 0);
}

void UnitOperations::startProgramEep(int ch) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::ProgramEep;
  c.gaugeAdvance = false;
  ChannelMessage(ch, "开始EEP数据编程......");
  BeginChannelOperation(ch, kFirstReplyTicks, KiB(chip_.EepSize), true);
  SendProgramBlock(c, chip_, true, 0, header(), image_.EepImage, 0);
}

void UnitOperations::startVerifyFlash(int ch) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::VerifyFlash;
  c.gaugeAdvance = false;
  ChannelMessage(ch, "开始Main Flash数据校验......");
  BeginChannelOperation(ch, kFirstReplyTicks, chip_.FlashSizeKB, true);
  SendReadBlock(c, chip_, false, 0, header());
}

void UnitOperations::startVerifyEep(int ch) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::VerifyEep;
  c.gaugeAdvance = false;
  ChannelMessage(ch, "开始EEP Data数据校验......");
  BeginChannelOperation(ch, kFirstReplyTicks, KiB(chip_.EepSize), true);
  SendReadBlock(c, chip_, true, 0, header());
}

void UnitOperations::startWriteOption(int ch) {
  ProgrammerChannel& c = channel(ch);
  c.state = OperationState::WriteOption;
  c.gaugeAdvance = true;
  ChannelMessage(ch, "写芯片Option Data......");
  BeginChannelOperation(ch, kFirstReplyTicks, chip_.FlashSizeKB, false);
  // The first 512 option bytes; the second half of the payload carries no data.
  SendWriteOption(c, chip_, header(), image_.OptionData);
}

void UnitOperations::onBlankCheck(int ch, uint8_t status) {
  ProgrammerChannel& c = channel(ch);
  if (IsSuccess(status)) {
    ChannelMessage(ch, "芯片为空！");
    if (c.autoSequence)
      startProgramFlash(ch);
    else
      FinishChannelOperation(ch, false);
    return;
  }
  if (status == kStatusNotBlank) {
    if (c.autoSequence) {
      startErase(ch, "芯片不为空! 擦除芯片...");
    } else {
      ChannelMessage(ch, "芯片不为空！");
      FinishChannelOperation(ch, true);
    }
    return;
  }
  if (status == 0x10 || status == 0x13 || status == 0x5A) {
    if (c.autoSequence) {
      startErase(ch, "芯片已保护，擦除芯片...");
    } else {
      ChannelMessage(ch, "芯片已保护！");
      ReportResult(status, ch);
    }
    return;
  }
  ReportResult(status, ch);
}

void UnitOperations::onErase(int ch, uint8_t status) {
  if (!IsSuccess(status)) {
    ReportResult(status, ch);
    return;
  }
  ChannelMessage(ch, "擦除芯片操作成功！");
  if (channel(ch).autoSequence)
    startProgramFlash(ch);
  else
    FinishChannelOperation(ch, false);
}

void UnitOperations::onProgram(int ch, uint8_t status, bool eep) {
  ProgrammerChannel& c = channel(ch);
  if (!IsSuccess(status)) {
    ReportResult(status, ch);
    return;
  }
  const bool more = c.stepTransfer();
  if (c.gauge) c.gauge->progress = c.position + 1;
  if (more) {
    if (eep)
      SendProgramBlock(c, chip_, true, c.position, header(), image_.EepImage, c.position * 1024ull);
    else
      sendFlashProgramBlock(ch, c.position);
    return;
  }
  if (!eep) {
    afterFlashProgrammed(ch);
    return;
  }
  ChannelMessage(ch, "EEP数据编程操作成功！");
  // The automatic sequence verifies what it programmed: the main flash, then (chained) the EEP.
  if (c.autoSequence)
    startVerifyFlash(ch);
  else
    FinishChannelOperation(ch, false);
}

void UnitOperations::afterFlashProgrammed(int ch) {
  if (settings.EepEnabled) {
    startProgramEep(ch);
    return;
  }
  ChannelMessage(ch, "编程操作成功！");
  if (channel(ch).autoSequence)
    startVerifyFlash(ch);
  else
    FinishChannelOperation(ch, false);
}

void UnitOperations::onVerify(int ch, uint8_t status, bool eep, std::span<const uint8_t> data) {
  ProgrammerChannel& c = channel(ch);
  if (!IsSuccess(status)) {
    ReportResult(status, ch);
    return;
  }
  const OperationState state = c.state;
  const uint32_t start = eep ? chip_.EepStart : chip_.FlashStart;
  uint32_t end = eep ? chip_.EepEnd : chip_.FlashEnd;
  if (!eep && chip_.VendorIndex == 5) end -= 2u * chip_.TopReservedWords;
  const std::span<const uint8_t> image = eep ? std::span<const uint8_t>(image_.EepImage) : std::span<const uint8_t>(image_.FlashImage);
  const uint64_t block = static_cast<uint64_t>(start) + c.position * 1024ull;
  for (uint32_t i = 0; i < kBlockSize && block + i <= end; ++i) {
    const uint64_t offset = block + i - start;
    const uint8_t mine = eep ? (offset < image.size() ? image[offset] : 0xFF) : flashByteFor(ch, offset);
    // A reply shorter than a block shows as a difference at its first missing byte.
    const bool have = i < data.size();
    if (have && data[i] == mine) continue;
    MessageBox box;
    box.kind = BoxKind::Error;
    box.text = Format("Chip %d: Address=0x%0.8x,Buffer=0x%0.2x,Chip=0x%0.2x", ch + 1, static_cast<uint32_t>(block + i),
                      mine, have ? data[i] : 0);
    box.buttons = {Button::Yes, Button::Abort};
    dialogs_.messageBox(box);
    // The box is modal while the loop runs on: the watchdog may have ended the unit meanwhile.
    if (c.busy && c.state == state) ReportResult(kStatusVerifyError, ch);
    return;
  }
  const bool more = c.stepTransfer();
  if (c.gauge) c.gauge->progress = c.position + 1;
  if (more) {
    SendReadBlock(c, chip_, eep, c.position, header());
    return;
  }
  afterVerified(ch, eep);
}

void UnitOperations::afterVerified(int ch, bool eep) {
  ProgrammerChannel& c = channel(ch);
  if (!eep) {
    ChannelMessage(ch, "Flash数据校验成功！");
    if (settings.EepEnabled) {
      startVerifyEep(ch);
      return;
    }
  } else {
    ChannelMessage(ch, "EEP数据校验成功！");
  }
  if (!c.autoSequence) {
    FinishChannelOperation(ch, false);
  } else if (settings.OptionEnabled) {
    startWriteOption(ch);
  } else {
    ChannelMessage(ch, "编程操作成功！");
    // A part is done without option bytes too: the next one needs the next number.
    AdvanceSerial();
    FinishChannelOperation(ch, false);
  }
}

void UnitOperations::onWriteOption(int ch, uint8_t status) {
  if (!IsSuccess(status)) {
    ReportResult(status, ch);
    return;
  }
  ChannelMessage(ch, "写Option Byte操作成功！");
  if (channel(ch).autoSequence) AdvanceSerial();
  FinishChannelOperation(ch, false);
}

// ---- serial numbers -----------------------------------------------------------------------------------

uint8_t UnitOperations::flashByteFor(int ch, uint64_t offset) const {
  const uint8_t stored = offset < image_.FlashImage.size() ? image_.FlashImage[offset] : 0xFF;
  if (!serialInImage_ || ch == 0) return stored;
  const uint64_t first = static_cast<uint64_t>(settings.SerialAddress) - chip_.FlashStart;
  if (settings.SerialAddress < chip_.FlashStart || offset < first || offset >= first + 4) return stored;
  const uint32_t k = static_cast<uint32_t>(offset - first);
  const uint32_t number = serialOfRun_ + static_cast<uint32_t>(ch) * settings.Gain;
  return static_cast<uint8_t>(number >> (8 * (settings.BigEndian ? 3 - k : k)));
}

bool UnitOperations::sendFlashProgramBlock(int ch, uint16_t position) {
  std::array<uint8_t, kBlockSize> block;
  const uint64_t offset = position * 1024ull;
  for (size_t i = 0; i < kBlockSize; ++i) block[i] = flashByteFor(ch, offset + i);
  return SendProgramBlock(channel(ch), chip_, false, position, header(), block, 0);
}

void UnitOperations::WriteSerialIntoImage() {
  const uint32_t v = settings.Serial;
  serialOfRun_ = v;
  serialInImage_ = true;
  const uint32_t a = settings.SerialAddress;
  for (uint32_t k = 0; k < 4; ++k) {
    const uint32_t address = settings.BigEndian ? a + 3 - k : a + k;
    const uint64_t offset = static_cast<uint64_t>(address) - chip_.FlashStart;
    if (address >= chip_.FlashStart && offset < image_.FlashImage.size())
      image_.FlashImage[offset] = static_cast<uint8_t>(v >> (8 * k));
  }
  if (onFlashRowsChanged) onFlashRowsChanged(a);
  image_.UpdateFlashChecksums(chip_.FlashStart, chip_.FlashEnd);
  log_.MainMessage(Format("Main Flash SN CRC/ACC CheckSum = 0x%0.4x/0x%0.4x", image_.FlashCrc16, image_.FlashAcc16));
}

void UnitOperations::AdvanceSerial() {
  if (!settings.SerialEnabled || !settings.HostSerial) return;
  settings.Serial += settings.Gain;
  if (onSerialChanged) onSerialChanged(settings.Serial);
}

}  // namespace tarvel
