#include "ops/Commands.h"

#include <algorithm>

#include "image/Checksums.h"
#include "link/DeviceDiscovery.h"

namespace tarvel {
namespace {

constexpr uint8_t kConfigKey0 = 0x5D;
constexpr uint8_t kConfigKey1 = 0x2B;

// Writes the envelope around a payload already in place at packetBuffer[8 ..] and sends the frame.
bool Finish(ProgrammerChannel& ch, uint8_t command, uint16_t argument, const ChipSettings& chip, size_t n) {
  uint8_t* p = ch.link.packetBuffer.data();
  p[0] = command;
  p[1] = static_cast<uint8_t>(argument);
  p[2] = static_cast<uint8_t>(argument >> 8);
  p[3] = chip.SettingsTag;
  p[4] = chip.FamilyCode;
  p[5] = chip.ChipSubtype;
  p[6] = static_cast<uint8_t>(n);
  p[7] = static_cast<uint8_t>(n >> 8);
  const uint16_t check = ImageCrc16(ch.link.packetBuffer, 0, static_cast<uint32_t>(7 + n));
  p[8 + n] = static_cast<uint8_t>(check);
  p[9 + n] = static_cast<uint8_t>(check >> 8);
  if (!ch.port) return false;
  const size_t frame = ch.link.EncodePacket(10 + n);
  return ch.port->SendBytes(std::span<const uint8_t>(ch.link.txBuffer.data(), frame));
}

}  // namespace

bool SendDownloadConfig(ProgrammerChannel& ch, const ChipSettings& chip, uint16_t argument, const ConfigBlock& block) {
  uint8_t* payload = ch.link.packetBuffer.data() + 8;
  std::copy(block.begin(), block.end(), payload);
  std::copy(block.begin(), block.end(), payload + kConfigBlockSize);
  const uint8_t m0 = static_cast<uint8_t>((static_cast<uint8_t>(argument) ^ kConfigKey0) | 0x80);
  const uint8_t m1 = static_cast<uint8_t>((static_cast<uint8_t>(argument >> 8) ^ kConfigKey1) | 0x80);
  for (size_t i = 0; i < 2 * kConfigBlockSize; ++i) payload[i] ^= (i % 2 == 0) ? m0 : m1;
  return Finish(ch, kCmdDownloadConfig, argument, chip, 2 * kConfigBlockSize);
}

bool SendBlock(ProgrammerChannel& ch, const ChipSettings& chip, uint8_t command, uint16_t position,
               std::span<const uint8_t> image, uint64_t offset) {
  uint8_t* payload = ch.link.packetBuffer.data() + 8;
  for (size_t i = 0; i < kBlockSize; ++i) payload[i] = offset + i < image.size() ? image[offset + i] : 0xFF;
  return Finish(ch, command, position, chip, kBlockSize);
}

bool SendWithHeader(ProgrammerChannel& ch, const ChipSettings& chip, uint8_t command, uint16_t argument,
                    const SettingsHeader& header, std::span<const uint8_t> data, size_t dataLength) {
  uint8_t* payload = ch.link.packetBuffer.data() + 8;
  std::copy(header.begin(), header.end(), payload);
  std::fill(payload + kSettingsHeaderSize, payload + kSettingsHeaderSize + dataLength, 0xFF);
  std::copy_n(data.begin(), std::min(data.size(), dataLength), payload + kSettingsHeaderSize);
  return Finish(ch, command, argument, chip, kSettingsHeaderSize + dataLength);
}

bool SendHeaderPrefix(ProgrammerChannel& ch, const ChipSettings& chip, uint8_t command, uint16_t argument,
                      const SettingsHeader& header, size_t length) {
  length = std::min(length, header.size());
  std::copy_n(header.begin(), length, ch.link.packetBuffer.data() + 8);
  return Finish(ch, command, argument, chip, length);
}

bool SendRestartUnit(ProgrammerChannel& ch) {
  uint8_t* p = ch.link.packetBuffer.data();
  const uint8_t fixed[8] = {kCmdRestartUnit, 0x52, 0x45, 0x53, 0x54, 0xA8, 0x02, 0x00};
  std::copy(std::begin(fixed), std::end(fixed), p);
  p[8] = p[9] = 0;
  const uint16_t check = ImageCrc16(ch.link.packetBuffer, 0, 9);
  p[10] = static_cast<uint8_t>(check);
  p[11] = static_cast<uint8_t>(check >> 8);
  if (!ch.port) return false;
  const size_t frame = ch.link.EncodePacket(12);
  return ch.port->SendBytes(std::span<const uint8_t>(ch.link.txBuffer.data(), frame));
}

bool SendDiscoveryRequest(ProgrammerChannel& ch) {
  return ch.port && ch.port->SendBytes(kDiscoveryRequest);
}

uint8_t ReplyStatus(std::span<const uint8_t> packet) {
  const size_t L = packet.size();
  if (L < 8) return 0x23;
  const uint16_t stored = static_cast<uint16_t>(packet[L - 2] | packet[L - 1] << 8);
  if (ImageCrc16(packet, 0, static_cast<uint32_t>(L - 3)) != stored) return 0x23;
  const uint16_t length = static_cast<uint16_t>(packet[6] | packet[7] << 8);
  if (length >= 3) return 0;
  // A status reply too short to hold its status byte cannot be believed.
  return L > 8 ? packet[8] : 0x23;
}

}  // namespace tarvel
