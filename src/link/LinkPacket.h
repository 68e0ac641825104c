// Command and reply packets of the link: the envelope, the check word, one builder per command, the
// discovery request, the reply check and the two in-transit scramblings.
//
// Envelope (little-endian): command, 16-bit argument, SettingsTag, FamilyCode, ChipSubtype, 16-bit payload
// length n, payload, check word over bytes 0 .. 7 + n. A packet is 10 + n bytes. RestartUnit, FirmwareBlock
// and FirmwareDone put their own values into bytes 1 to 5.
//
// Builders write into the channel's packet buffer and return the packet's length; the caller encodes
// it as a frame (FrameLayer) and queues it. The unit's side (the simulator) uses the same envelope, the
// inverse scramblings and the key bytes below, so the two ends cannot drift apart.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/RandomSource.h"
#include "link/FrameLayer.h"

namespace tarvel {

// Command codes (byte 0).
namespace LinkCommand {
constexpr uint8_t DownloadConfig = 0x53;
constexpr uint8_t DownloadFlashBlock = 0x55;
constexpr uint8_t DownloadEepBlock = 0x5A;
constexpr uint8_t ChipCommand = 0x93;
constexpr uint8_t ProgramFlashBlock = 0x95;
constexpr uint8_t ProgramEepBlock = 0x99;
constexpr uint8_t ReadFlashBlock = 0x9B;
constexpr uint8_t ReadEepBlock = 0x9D;
constexpr uint8_t RestartUnit = 0x8A;
constexpr uint8_t FirmwareBlock = 0xB7;
constexpr uint8_t FirmwareDone = 0xBD;
}  // namespace LinkCommand

// ChipCommand sub-commands (the argument).
namespace ChipSubCommand {
constexpr uint16_t Erase = 3;
constexpr uint16_t BlankCheck = 5;
constexpr uint16_t ReadChecksum = 48;
constexpr uint16_t ReadOption = 51;
constexpr uint16_t WriteOption = 53;
constexpr uint16_t ReadChipInfo = 60;
constexpr uint16_t ReadRange = 121;
}  // namespace ChipSubCommand

// Byte 0 of a unit's unsolicited progress record, and of a reply that discovery ignores.
constexpr uint8_t kProgressRecordMark = 0xFD;
constexpr uint8_t kIgnoredReplyMark = 0xFA;

constexpr size_t kPacketHeaderLength = 8;
constexpr size_t kCheckWordLength = 2;
constexpr size_t kPacketOverhead = kPacketHeaderLength + kCheckWordLength;
constexpr size_t kSettingsHeaderLength = 80;
constexpr size_t kDataBlockLength = 4096;       // one block; positions count KiB, 4 per block
constexpr size_t kConfigBlockLength = 512;      // the configuration block ...
constexpr size_t kConfigPayloadLength = 1024;   // ... travels twice
constexpr size_t kOptionWriteDataLength = 512;  // option data bytes in a WriteOption payload
constexpr size_t kOptionWritePayloadLength = kSettingsHeaderLength + 1024;
constexpr size_t kReadRangePayloadLength = 64;
constexpr size_t kFirmwareImageBlockLength = 2048;  // image bytes per block: 512 groups of 3 data bytes + 1
constexpr size_t kFirmwarePayloadLength = 4128;
constexpr size_t kLargestPacketLength = kPacketOverhead + kFirmwarePayloadLength;
static_assert(kLargestPacketLength <= kPacketBufferSize);

// Status codes that the link itself produces (kPacketError, 0x20, is the frame layer's).
constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusAck = 0x06;
constexpr uint8_t kStatusCheckMismatch = 0x23;

// The key bytes of the DownloadConfig scrambling, shared with the units' firmware.
constexpr uint8_t kConfigKey0 = 0x5D;
constexpr uint8_t kConfigKey1 = 0x2B;

// The fixed device-discovery request, written to the port as it stands (it is not a LinkPacket).
constexpr std::array<uint8_t, 10> kDiscoveryRequest = {0xC0, 0xA3, 0xA5, 0x35, 0xC0,
                                                       0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// Bytes 0..2 of the request's decoded content and of the identification reply.
constexpr std::array<uint8_t, 3> kDiscoverySignature = {0xA3, 0xA5, 0x35};

// Bytes 3..5 of every ordinary packet, from the current chip settings.
struct LinkSettingsBytes {
  uint8_t settingsTag = 0x53;
  uint8_t familyCode = 0;
  uint8_t chipSubtype = 0;
};

using PacketSpan = std::span<uint8_t, kPacketBufferSize>;
using SettingsHeader = std::span<const uint8_t, kSettingsHeaderLength>;
using DataBlock = std::span<const uint8_t, kDataBlockLength>;

// The link's check word: the image check routine over buffer[first..last]; 0 for an empty range.
uint16_t LinkChecksum(std::span<const uint8_t> buffer, uint32_t first, uint32_t last);

// Writes the envelope around `payload` (copied to offset 8) and the check word; returns 10 + n.
// Throws std::length_error when the packet would not fit.
size_t BuildPacket(PacketSpan out, uint8_t command, uint16_t argument, LinkSettingsBytes settings,
                   std::span<const uint8_t> payload);
// Stores the check word of a packet whose bytes 0 .. 7 + n are final (n from bytes 6..7); returns 10 + n.
size_t SealPacket(PacketSpan out);

// The commands.
size_t BuildDownloadConfig(PacketSpan out, LinkSettingsBytes settings,
                           std::span<const uint8_t, kConfigBlockLength> configBlock, RandomSource& random);
size_t BuildDownloadFlashBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position, DataBlock data);
size_t BuildDownloadEepBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position, DataBlock data);
// ChipCommand with the settings header alone: Erase, BlankCheck, ReadChecksum, ReadOption, ReadChipInfo.
size_t BuildChipCommand(PacketSpan out, LinkSettingsBytes settings, uint16_t subCommand,
                        SettingsHeader header);
// ChipCommand WriteOption: the header, option data bytes 0..511, then 512 zero bytes.
size_t BuildWriteOption(PacketSpan out, LinkSettingsBytes settings, SettingsHeader header,
                        std::span<const uint8_t, kOptionWriteDataLength> optionData);
// ChipCommand ReadRange: the first 64 header bytes with 48..51 = start address and 52..53 = length.
size_t BuildReadRange(PacketSpan out, LinkSettingsBytes settings, SettingsHeader header, uint32_t start,
                      uint16_t length);
size_t BuildProgramFlashBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                              SettingsHeader header, DataBlock data);
size_t BuildProgramEepBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                            SettingsHeader header, DataBlock data);
size_t BuildReadFlashBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                           SettingsHeader header);
size_t BuildReadEepBlock(PacketSpan out, LinkSettingsBytes settings, uint16_t position,
                         SettingsHeader header);
size_t BuildRestartUnit(PacketSpan out);
// Block `index` of the firmware image (2048 image bytes, every fourth without data).
size_t BuildFirmwareBlock(PacketSpan out, uint16_t index,
                          std::span<const uint8_t, kFirmwareImageBlockLength> imageBlock,
                          RandomSource& random);
size_t BuildFirmwareDone(PacketSpan out);

// Fixed bytes 1..5 of RestartUnit and FirmwareDone.
constexpr std::array<uint8_t, 5> kRestartUnitBytes = {0x52, 0x45, 0x53, 0x54, 0xA8};
constexpr std::array<uint8_t, 5> kFirmwareDoneBytes = {0x00, 0x52, 0x53, 0x00, 0x00};

// The status of a decoded reply: kStatusCheckMismatch when the check word is wrong; else byte 8 when the
// payload length field is below 3 (a status reply); else 0 (a data reply). A reply too short to hold
// its header, or a status reply whose byte 8 would be part of the check word, is a packet error
// (kPacketError).
uint8_t CheckReply(std::span<const uint8_t> packet);

// Field access.
inline uint16_t ReadLe16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t ReadLe32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline void WriteLe16(std::span<uint8_t> b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLe32(std::span<uint8_t> b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t PacketArgument(std::span<const uint8_t> packet) {
  return ReadLe16(packet, 1);
}
inline uint16_t PacketPayloadLength(std::span<const uint8_t> packet) {
  return ReadLe16(packet, 6);
}
// The payload as far as the packet holds it: the length field, cut to the bytes before the check word.
std::span<const uint8_t> PacketPayload(std::span<const uint8_t> packet);

// The configuration block's own checks: the marker "ZWLP" at 0, LinkChecksum over 0..507 at 508 and the
// 16-bit byte sum over 0..509 at 510. SealConfigBlock writes both checks of a filled-in block.
constexpr std::array<uint8_t, 4> kConfigMarker = {'Z', 'W', 'L', 'P'};
constexpr size_t kConfigCheckOffset = 508;
constexpr size_t kConfigSumOffset = 510;
void SealConfigBlock(std::span<uint8_t, kConfigBlockLength> block);
// Marker, check word and sum all right.
bool ConfigBlockSound(std::span<const uint8_t, kConfigBlockLength> block);

// DownloadConfig: the mask bytes of an argument; even payload bytes are XORed with m0, odd ones with m1.
// The scrambling is its own inverse.
struct ConfigMasks {
  uint8_t m0, m1;
};
ConfigMasks ConfigScrambleMasks(uint16_t argument);
void ScrambleConfigPayload(std::span<uint8_t, kConfigPayloadLength> payload, uint16_t argument);
inline void UnscrambleConfigPayload(std::span<uint8_t, kConfigPayloadLength> payload, uint16_t argument) {
  ScrambleConfigPayload(payload, argument);
}

// FirmwareBlock: groups of three data bytes XORed with the key's low, high and low byte, a zero fourth
// byte, random pad groups from 2048 on, and the first 2048 bytes XORed with the pad.
void ScrambleFirmwareBlock(std::span<const uint8_t, kFirmwareImageBlockLength> imageBlock, uint16_t key,
                           std::span<uint8_t, kFirmwarePayloadLength> payload, RandomSource& random);
// Recovers the image block; the fourth byte of every group, which does not travel, comes back as 0.
void UnscrambleFirmwareBlock(std::span<const uint8_t, kFirmwarePayloadLength> payload, uint16_t key,
                             std::span<uint8_t, kFirmwareImageBlockLength> imageBlock);

}  // namespace tarvel
