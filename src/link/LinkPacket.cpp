#include "link/LinkPacket.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "image/Checksums.h"

namespace tarvel {
namespace {

constexpr size_t kArgumentOffset = 1;
constexpr size_t kSettingsOffset = 3;
constexpr size_t kLengthOffset = 6;
constexpr size_t kPayloadOffset = kPacketHeaderLength;
constexpr size_t kReadRangeStartOffset = 48;
constexpr size_t kReadRangeLengthOffset = 52;
constexpr uint16_t kLargestConfigArgument = 65534;
constexpr uint16_t kLargestFirmwareKey = 65524;

// Bytes 0..7; the payload is the caller's to fill.
std::span<uint8_t> StartPacket(PacketSpan out, uint8_t command, uint16_t argument, LinkSettingsBytes settings,
                               size_t payloadLength) {
  if (payloadLength > out.size() - kPacketOverhead) throw std::length_error("packet larger than its buffer");
  out[0] = command;
  WriteLe16(out, kArgumentOffset, argument);
  out[kSettingsOffset] = settings.settingsTag;
  out[kSettingsOffset + 1] = settings.familyCode;
  out[kSettingsOffset + 2] = settings.chipSubtype;
  WriteLe16(out, kLengthOffset, static_cast<uint16_t>(payloadLength));
  return out.subspan(kPayloadOffset, payloadLength);
}

// Draws uniformly from 0..limit.
uint16_t DrawUpTo(RandomSource& random, uint16_t limit) {
  uint16_t v;
  do v = random.word16();
  while (v > limit);
  return v;
}

size_t HeaderAndBlock(PacketSpan out, uint8_t command, LinkSettingsBytes settings, uint16_t position,
                      SettingsHeader header, DataBlock data) {
  auto payload = StartPacket(out, command, position, settings, kSettingsHeaderLength + kDataBlockLength);
  std::copy(header.begin(), header.end(), payload.begin());
  std::copy(data.begin(), data.end(), payload.begin() + kSettingsHeaderLength);
  return SealPacket(out);
}

}  // namespace

uint16_t LinkChecksum(std::span<const uint8_t> buffer, uint32_t first, uint32_t last) {
  return ImageCrc16(buffer, first, last);
}

size_t SealPacket(PacketSpan out) {
  const size_t n = ReadLe16(out, kLengthOffset);
  if (n > out.size() - kPacketOverhead) throw std::length_error("packet larger than its buffer");
  const size_t checkAt = kPayloadOffset + n;
  WriteLe16(out, checkAt, LinkChecksum(out, 0, static_cast<uint32_t>(checkAt - 1)));
  return checkAt + kCheckWordLength;
}

size_t BuildPacket(PacketSpan out, uint8_t command, uint16_t argument, LinkSettingsBytes settings,
                   std::span<const uint8_t> payload) {
  auto p = StartPacket(out, command, argument, settings, payload.size());
  std::copy(payload.begin(), payload.end(), p.begin());
  return SealPacket(out);
}

size_t BuildDownloadConfig(PacketSpan out, LinkSettingsBytes settings,
                           std::span<const uint8_t, kConfigBlockLength> configBlock, RandomSource& random) {
  const uint16_t argument = DrawUpTo(random, kLargestConfigArgument);
  auto payload = StartPacket(out, LinkCommand::DownloadConfig, argument, settings, kConfigPayloadLength);
  std::copy(configBlock.begin(), configBlock.end(), payload.begin());
  std::copy(configBlock.begin(), configBlock.end(), payload.begin() + kConfigBlockLength);
  ScrambleConfigPayload(payload.first<kConfigPayloadLength>(), argument);
  return SealPacket(out);
}

size_t BuildDownloadFlashBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                               DataBlock data) {
  return BuildPacket(out, LinkCommand::DownloadFlashBlock, position, settings, data);
}

size_t BuildDownloadEepBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position, DataBlock data) {
  return BuildPacket(out, LinkCommand::DownloadEepBlock, position, settings, data);
}

size_t BuildChipCommand(PacketSpan out, LinkSettingsBytes settings, uint16_t subCommand,
                        SettingsHeader header) {
  return BuildPacket(out, LinkCommand::ChipCommand, subCommand, settings, header);
}

size_t BuildWriteOption(PacketSpan out, LinkSettingsBytes settings, SettingsHeader header,
                        std::span<const uint8_t, kOptionWriteDataLength> optionData) {
  auto payload = StartPacket(out, LinkCommand::ChipCommand, ChipSubCommand::WriteOption, settings,
                             kOptionWritePayloadLength);
  std::copy(header.begin(), header.end(), payload.begin());
  std::copy(optionData.begin(), optionData.end(), payload.begin() + kSettingsHeaderLength);
  // The second half carries no data; zeros rather than whatever the buffer held from the last reply.
  std::fill(payload.begin() + kSettingsHeaderLength + kOptionWriteDataLength, payload.end(), 0);
  return SealPacket(out);
}

size_t BuildReadRange(PacketSpan out, LinkSettingsBytes settings, SettingsHeader header, uint32_t start,
                      uint16_t length) {
  auto payload = StartPacket(out, LinkCommand::ChipCommand, ChipSubCommand::ReadRange, settings,
                             kReadRangePayloadLength);
  std::copy(header.begin(), header.begin() + kReadRangePayloadLength, payload.begin());
  WriteLe32(payload, kReadRangeStartOffset, start);
  WriteLe16(payload, kReadRangeLengthOffset, length);
  return SealPacket(out);
}

size_t BuildProgramFlashBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                              SettingsHeader header, DataBlock data) {
  return HeaderAndBlock(out, LinkCommand::ProgramFlashBlock, settings, position, header, data);
}

size_t BuildProgramEepBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                            SettingsHeader header, DataBlock data) {
  return HeaderAndBlock(out, LinkCommand::ProgramEepBlock, settings, position, header, data);
}

size_t BuildReadFlashBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                           SettingsHeader header) {
  return BuildPacket(out, LinkCommand::ReadFlashBlock, position, settings, header);
}

size_t BuildReadEepBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                         SettingsHeader header) {
  return BuildPacket(out, LinkCommand::ReadEepBlock, position, settings, header);
}

namespace {
size_t FixedBytesPacket(PacketSpan out, uint8_t command, const std::array<uint8_t, 5>& bytes) {
  out[0] = command;
  std::copy(bytes.begin(), bytes.end(), out.begin() + 1);
  WriteLe16(out, kLengthOffset, 2);
  out[kPayloadOffset] = 0;
  out[kPayloadOffset + 1] = 0;
  return SealPacket(out);
}
}  // namespace

size_t BuildRestartUnit(PacketSpan out) {
  return FixedBytesPacket(out, LinkCommand::RestartUnit, kRestartUnitBytes);
}

size_t BuildFirmwareDone(PacketSpan out) {
  return FixedBytesPacket(out, LinkCommand::FirmwareDone, kFirmwareDoneBytes);
}

size_t BuildFirmwareBlock(PacketSpan out, uint16_t index,
                          std::span<const uint8_t, kFirmwareImageBlockLength> imageBlock,
                          RandomSource& random) {
  const uint16_t key = DrawUpTo(random, kLargestFirmwareKey);
  out[0] = LinkCommand::FirmwareBlock;
  out[1] = static_cast<uint8_t>(index * 4);
  WriteLe16(out, 2, key);
  out[4] = random.byte();
  out[5] = random.byte();
  WriteLe16(out, kLengthOffset, static_cast<uint16_t>(kFirmwarePayloadLength));
  ScrambleFirmwareBlock(imageBlock, key, out.subspan<kPayloadOffset, kFirmwarePayloadLength>(), random);
  return SealPacket(out);
}

uint8_t CheckReply(std::span<const uint8_t> packet) {
  const size_t length = packet.size();
  if (length < kCheckWordLength + 1) return kPacketError;
  const uint16_t expected = ReadLe16(packet, length - kCheckWordLength);
  if (LinkChecksum(packet, 0, static_cast<uint32_t>(length - kCheckWordLength - 1)) != expected) {
    return kStatusCheckMismatch;
  }
  if (length < kPacketHeaderLength) return kPacketError;
  if (PacketPayloadLength(packet) < 3) {
    // The status byte must be a payload byte, not part of the check word or a byte behind the packet.
    return length > kPacketOverhead ? packet[kPayloadOffset] : kPacketError;
  }
  return kStatusOk;
}

std::span<const uint8_t> PacketPayload(std::span<const uint8_t> packet) {
  if (packet.size() < kPacketOverhead) return {};
  const size_t available = packet.size() - kPacketOverhead;
  return packet.subspan(kPayloadOffset, std::min<size_t>(PacketPayloadLength(packet), available));
}

void SealConfigBlock(std::span<uint8_t, kConfigBlockLength> block) {
  WriteLe16(block, kConfigCheckOffset, LinkChecksum(block, 0, kConfigCheckOffset - 1));
  uint16_t sum = 0;
  for (size_t i = 0; i < kConfigSumOffset; ++i) sum = static_cast<uint16_t>(sum + block[i]);
  WriteLe16(block, kConfigSumOffset, sum);
}

bool ConfigBlockSound(std::span<const uint8_t, kConfigBlockLength> block) {
  if (!std::equal(kConfigMarker.begin(), kConfigMarker.end(), block.begin())) return false;
  if (ReadLe16(block, kConfigCheckOffset) != LinkChecksum(block, 0, kConfigCheckOffset - 1)) return false;
  uint16_t sum = 0;
  for (size_t i = 0; i < kConfigSumOffset; ++i) sum = static_cast<uint16_t>(sum + block[i]);
  return ReadLe16(block, kConfigSumOffset) == sum;
}

ConfigMasks ConfigScrambleMasks(uint16_t argument) {
  return {static_cast<uint8_t>(((argument & 0xFF) ^ kConfigKey0) | 0x80),
          static_cast<uint8_t>(((argument >> 8) ^ kConfigKey1) | 0x80)};
}

void ScrambleConfigPayload(std::span<uint8_t, kConfigPayloadLength> payload, uint16_t argument) {
  const ConfigMasks m = ConfigScrambleMasks(argument);
  for (size_t i = 0; i < payload.size(); i += 2) {
    payload[i] ^= m.m0;
    payload[i + 1] ^= m.m1;
  }
}

void ScrambleFirmwareBlock(std::span<const uint8_t, kFirmwareImageBlockLength> imageBlock, uint16_t key,
                           std::span<uint8_t, kFirmwarePayloadLength> payload, RandomSource& random) {
  const uint8_t lo = static_cast<uint8_t>(key), hi = static_cast<uint8_t>(key >> 8);
  for (size_t g = 0; g < kFirmwareImageBlockLength; g += 4) {
    payload[g] = imageBlock[g] ^ lo;
    payload[g + 1] = imageBlock[g + 1] ^ hi;
    payload[g + 2] = imageBlock[g + 2] ^ lo;
    payload[g + 3] = 0;
  }
  for (size_t g = kFirmwareImageBlockLength; g < kFirmwarePayloadLength; g += 4) {
    payload[g] = random.byte();
    payload[g + 1] = random.byte();
    payload[g + 2] = random.byte();
    payload[g + 3] = 0;
  }
  for (size_t i = 0; i < kFirmwareImageBlockLength; ++i) payload[i] ^= payload[kFirmwareImageBlockLength + i];
}

void UnscrambleFirmwareBlock(std::span<const uint8_t, kFirmwarePayloadLength> payload, uint16_t key,
                             std::span<uint8_t, kFirmwareImageBlockLength> imageBlock) {
  const uint8_t lo = static_cast<uint8_t>(key), hi = static_cast<uint8_t>(key >> 8);
  for (size_t g = 0; g < kFirmwareImageBlockLength; g += 4) {
    imageBlock[g] = payload[g] ^ payload[kFirmwareImageBlockLength + g] ^ lo;
    imageBlock[g + 1] = payload[g + 1] ^ payload[kFirmwareImageBlockLength + g + 1] ^ hi;
    imageBlock[g + 2] = payload[g + 2] ^ payload[kFirmwareImageBlockLength + g + 2] ^ lo;
    imageBlock[g + 3] = 0;
  }
}

}  // namespace tarvel
