// Reads of the chip in the first unit's socket: main memory, EEP, option bytes, checksums, chip
// information and an address range.
#include <algorithm>

#include "base/Format.h"
#include "image/Checksums.h"
#include "link/StatusCodes.h"
#include "ops/Commands.h"
#include "ops/UnitOperations.h"

namespace tarvel {
namespace {

uint16_t KiB(uint32_t bytes) { return static_cast<uint16_t>(bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0)); }

// "  0x%0.2x :" and sixteen " %0.2x" per row, for `rows` rows of `bytes` from `from`.
void DumpRows(InfoLog& log, std::span<const uint8_t> bytes, size_t from, size_t rows) {
  for (size_t r = 0; r < rows; ++r) {
    std::string line = Format("  0x%0.2x :", static_cast<uint32_t>(r * 16));
    for (size_t i = 0; i < 16; ++i) {
      const size_t at = from + r * 16 + i;
      line += at < bytes.size() ? Format(" %0.2x", bytes[at]) : std::string(" --");
    }
    log.Line(line);
  }
}

}  // namespace

bool UnitOperations::ReadPreconditions(const FanOutContext& context) {
  if (!context.chipSelected) {
    dialogs_.information("请选择并确认芯片型号！");
    return false;
  }
  if (!channel(0).connected) {
    dialogs_.information("请连接好设备！");
    return false;
  }
  return true;
}

bool UnitOperations::StartRead(ChipRead command, const FanOutContext& context, uint32_t rangeStart,
                               uint16_t rangeLength) {
  if (!context.chipSelected) {
    dialogs_.information("请选择并确认芯片型号！");
    return false;
  }
  // Every read but the chip information captures the window's settings once the chip check passed.
  if (command != ChipRead::ChipInformation && command != ChipRead::SpecificAddress)
    ApplyWindowSettings(context.window, chip_, image_, settings);
  if (!channel(0).connected) {
    dialogs_.information("请连接好设备！");
    return false;
  }
  if (command == ChipRead::SpecificAddress) ApplyWindowSettings(context.window, chip_, image_, settings);
  ProgrammerChannel& c = channel(0);
  c.link.ResetReceive();
  const OperationHeader h = header();
  switch (command) {
    case ChipRead::MainMemory:
      c.state = OperationState::ReadFlash;
      c.gaugeAdvance = false;
      ChannelMessage(0, "读取芯片Main Flash Data......");
      BeginChannelOperation(0, kFirstReplyTicks, chip_.FlashSizeKB, true);
      SendReadBlock(c, chip_, false, 0, h);
      break;
    case ChipRead::EepMemory:
      c.state = OperationState::ReadEep;
      c.gaugeAdvance = false;
      ChannelMessage(0, "读取芯片EEP Data......");
      BeginChannelOperation(0, kFirstReplyTicks, KiB(chip_.EepSize), true);
      SendReadBlock(c, chip_, true, 0, h);
      break;
    case ChipRead::OptionSetting:
      c.state = OperationState::ReadOption;
      c.gaugeAdvance = false;
      log_.Line();
      ChannelMessage(0, "读取芯片Option Data ......");
      BeginChannelOperation(0, kFirstReplyTicks, chip_.FlashSizeKB, false);
      SendChipCommand(c, chip_, ChipSubCommand::ReadOption, h);
      break;
    case ChipRead::CheckSum:
      c.state = OperationState::ReadChecksum;
      c.gaugeAdvance = true;
      ChannelMessage(0, "读取芯片校验和数据......");
      BeginChannelOperation(0, kFirstReplyTicks, chip_.FlashSizeKB, false);
      SendChipCommand(c, chip_, ChipSubCommand::ReadChecksum, h);
      break;
    case ChipRead::ChipInformation:
      c.state = OperationState::ReadChipInfo;
      c.gaugeAdvance = false;
      log_.MainMessage("读取芯片信息数据......");
      BeginChannelOperation(0, kFirstReplyTicks, chip_.FlashSizeKB, false);
      SendChipCommand(c, chip_, ChipSubCommand::ReadChipInfo, h);
      break;
    case ChipRead::SpecificAddress: {
      rangeStart_ = rangeStart;
      rangeLength_ = rangeLength;
      c.state = OperationState::ReadRange;
      c.gaugeAdvance = false;
      BeginChannelOperation(0, kFirstReplyTicks, chip_.FlashSizeKB, false);
      if (c.gauge) c.gauge->progress = 250;
      SendReadRange(c, chip_, h, rangeStart, rangeLength);
      break;
    }
  }
  return true;
}

void UnitOperations::onRead(int ch, uint8_t status, std::span<const uint8_t> data) {
  ProgrammerChannel& c = channel(ch);
  switch (c.state) {
    case OperationState::ReadFlash: {
      if (!IsSuccess(status)) return ReportResult(status, ch);
      const uint64_t offset = c.position * 1024ull;
      for (size_t i = 0; i < std::min<size_t>(data.size(), kBlockSize); ++i)
        if (offset + i < image_.FlashImage.size()) image_.FlashImage[offset + i] = data[i];
      const bool more = c.stepTransfer();
      if (c.gauge) c.gauge->progress = c.position + 1;
      if (more) {
        SendReadBlock(c, chip_, false, c.position, header());
        return;
      }
      FinishChannelOperation(ch, false);
      ChannelMessage(ch, "Main Flash读取成功！");
      image_.UpdateFlashChecksums(chip_.FlashStart, chip_.FlashEnd);
      log_.MainMessage(Format("Read Chip Data CRC/ACC CheckSum = 0x%0.4x/0x%0.4x", image_.FlashCrc16, image_.FlashAcc16));
      if (onFlashRead) onFlashRead();
      return;
    }
    case OperationState::ReadEep: {
      if (!IsSuccess(status)) return ReportResult(status, ch);
      const uint64_t offset = c.position * 1024ull;
      const uint64_t left = chip_.EepSize > offset ? chip_.EepSize - offset : 0;
      const size_t n = static_cast<size_t>(std::min<uint64_t>({kBlockSize, left, data.size()}));
      for (size_t i = 0; i < n; ++i)
        if (offset + i < image_.EepImage.size()) image_.EepImage[offset + i] = data[i];
      const bool more = c.stepTransfer();
      if (more) {
        SendReadBlock(c, chip_, true, c.position, header());
        return;
      }
      ChannelMessage(ch, "读取EEP数据成功！");
      FinishChannelOperation(ch, false);
      if (onEepRead) onEepRead();
      return;
    }
    case OperationState::ReadOption:
      if (!IsSuccess(status)) return ReportResult(status, ch);
      FinishChannelOperation(ch, false);
      if (onOptionRead) onOptionRead(ch, data);
      return;
    case OperationState::ReadChecksum:
      if (status != 0 || data.size() < 4) return ReportResult(status, ch);
      ChannelMessage(ch, Format("读取芯片校验和CRC/ACC : 0x%0.4x/0x%0.4x", data[0] | data[1] << 8, data[2] | data[3] << 8));
      FinishChannelOperation(ch, false);
      return;
    case OperationState::ReadChipInfo: {
      if (status != 0) return ReportResult(status, ch);
      FinishChannelOperation(ch, false);
      auto at = [&](size_t i) -> uint32_t { return i < data.size() ? data[i] : 0; };
      log_.Line();
      log_.Line(Format(">     Chip Device ID is 0x%0.4x,Revsion is 0x%0.2x.", at(0) * 256 + at(1), at(2)));
      log_.Line();
      if (chip_.VendorIndex == 1) {
        log_.Line(">     Chip Number Block Data as Below: ");
        DumpRows(log_, data, 16, 8);
        log_.Line(">     Chip Option Block Data as Below: ");
        DumpRows(log_, data, 144, 8);
      } else {
        const size_t rows = std::max<size_t>(1, chip_.PageSize / 16);
        log_.Line(">     Chip Option Data as Below: ");
        DumpRows(log_, data, 4, rows);
        if (chip_.VendorIndex == 3) {
          log_.Line(">     Chip Trim Data as Below: ");
          DumpRows(log_, data, 4 + chip_.PageSize, rows);
        }
      }
      return;
    }
    case OperationState::ReadRange: {
      if (!IsSuccess(status)) return ReportResult(status, ch);
      FinishChannelOperation(ch, false);
      log_.Line("> Read Address Memory Data below: ");
      for (uint32_t r = 0; r < rangeLength_ / 16u; ++r) {
        std::string line = Format("0x%0.8x : ", rangeStart_ + 16 * r);
        for (uint32_t i = 0; i < 16; ++i) {
          const size_t k = 16 * r + i;
          line += k < data.size() ? Format("%0.2x ", data[k]) : std::string("-- ");
        }
        log_.Line(line);
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace tarvel
