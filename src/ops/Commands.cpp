#include "ops/Commands.h"

#include <algorithm>

#include "link/LinkPacket.h"

namespace tarvel {
namespace {

LinkSettingsBytes SettingsBytes(const ChipSettings& chip) {
  return LinkSettingsBytes{chip.SettingsTag, chip.FamilyCode, chip.ChipSubtype};
}

PacketSpan Buffer(ProgrammerChannel& ch) { return PacketSpan(ch.link.packetBuffer); }

// Encodes the packet built in the channel's buffer and queues the frame on its port.
bool Send(ProgrammerChannel& ch, size_t length) {
  if (!ch.port) return false;
  const size_t frame = ch.link.EncodePacket(length);
  return ch.port->SendBytes(std::span<const uint8_t>(ch.link.txBuffer.data(), frame));
}

// 4 KiB of `image` from `offset`; bytes beyond the image (a size rounded up past its end) go out as 0xFF.
std::array<uint8_t, kBlockSize> Block(std::span<const uint8_t> image, uint64_t offset) {
  std::array<uint8_t, kBlockSize> b;
  for (size_t i = 0; i < kBlockSize; ++i) b[i] = offset + i < image.size() ? image[offset + i] : 0xFF;
  return b;
}

SettingsHeader View(const OperationHeader& h) { return SettingsHeader(h); }

}  // namespace

bool SendDownloadConfig(ProgrammerChannel& ch, const ChipSettings& chip, RandomSource& random, const ConfigBlock& block) {
  return Send(ch, BuildDownloadConfig(Buffer(ch), SettingsBytes(chip), block, random));
}

bool SendDataBlock(ProgrammerChannel& ch, const ChipSettings& chip, bool eep, uint16_t position,
                   std::span<const uint8_t> image, uint64_t offset) {
  const auto block = Block(image, offset);
  return Send(ch, eep ? BuildDownloadEepBlock(Buffer(ch), SettingsBytes(chip), position, block)
                      : BuildDownloadFlashBlock(Buffer(ch), SettingsBytes(chip), position, block));
}

bool SendChipCommand(ProgrammerChannel& ch, const ChipSettings& chip, uint16_t subCommand, const OperationHeader& header) {
  return Send(ch, BuildChipCommand(Buffer(ch), SettingsBytes(chip), subCommand, View(header)));
}

bool SendProgramBlock(ProgrammerChannel& ch, const ChipSettings& chip, bool eep, uint16_t position,
                      const OperationHeader& header, std::span<const uint8_t> image, uint64_t offset) {
  const auto block = Block(image, offset);
  return Send(ch, eep ? BuildProgramEepBlock(Buffer(ch), SettingsBytes(chip), position, View(header), block)
                      : BuildProgramFlashBlock(Buffer(ch), SettingsBytes(chip), position, View(header), block));
}

bool SendReadBlock(ProgrammerChannel& ch, const ChipSettings& chip, bool eep, uint16_t position,
                   const OperationHeader& header) {
  return Send(ch, eep ? BuildReadEepBlock(Buffer(ch), SettingsBytes(chip), position, View(header))
                      : BuildReadFlashBlock(Buffer(ch), SettingsBytes(chip), position, View(header)));
}

bool SendWriteOption(ProgrammerChannel& ch, const ChipSettings& chip, const OperationHeader& header,
                     std::span<const uint8_t> optionData) {
  std::array<uint8_t, kOptionWriteDataLength> data{};
  std::copy_n(optionData.begin(), std::min(optionData.size(), data.size()), data.begin());
  return Send(ch, BuildWriteOption(Buffer(ch), SettingsBytes(chip), View(header), data));
}

bool SendReadRange(ProgrammerChannel& ch, const ChipSettings& chip, const OperationHeader& header, uint32_t start,
                   uint16_t length) {
  return Send(ch, BuildReadRange(Buffer(ch), SettingsBytes(chip), View(header), start, length));
}

bool SendRestartUnit(ProgrammerChannel& ch) { return Send(ch, BuildRestartUnit(Buffer(ch))); }

bool SendFirmwareBlock(ProgrammerChannel& ch, uint16_t index, std::span<const uint8_t> image, RandomSource& random) {
  std::array<uint8_t, kFirmwareImageBlockLength> block;
  const uint64_t offset = static_cast<uint64_t>(index) * kFirmwareImageBlockLength;
  for (size_t i = 0; i < block.size(); ++i) block[i] = offset + i < image.size() ? image[offset + i] : 0xFF;
  return Send(ch, BuildFirmwareBlock(Buffer(ch), index, block, random));
}

bool SendFirmwareDone(ProgrammerChannel& ch) { return Send(ch, BuildFirmwareDone(Buffer(ch))); }

bool SendDiscoveryRequest(ProgrammerChannel& ch) { return ch.port && ch.port->SendBytes(kDiscoveryRequest); }

uint8_t ReplyStatus(std::span<const uint8_t> packet) { return CheckReply(packet); }

}  // namespace tarvel
