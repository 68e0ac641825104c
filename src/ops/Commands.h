// The commands the operations send: built into a channel's packet buffer, framed and queued on its port.
// Each returns whether the port took the frame; callers do not act on it (the watchdog does).
#pragma once

#include <cstdint>
#include <span>

#include "base/RandomSource.h"
#include "chips/ChipSettings.h"
#include "link/LinkPacket.h"
#include "ops/ProgrammerChannel.h"
#include "ops/SettingsHeader.h"

namespace tarvel {

inline constexpr size_t kBlockSize = kDataBlockLength;

bool SendDownloadConfig(ProgrammerChannel& ch, const ChipSettings& chip, RandomSource& random, const ConfigBlock& block);
// DownloadFlashBlock or DownloadEepBlock: 4 KiB of `image` from `offset`.
bool SendDataBlock(ProgrammerChannel& ch, const ChipSettings& chip, bool eep, uint16_t position,
                   std::span<const uint8_t> image, uint64_t offset);
// ChipCommand with the settings header alone (erase, blank check, checksum, option and chip reads).
bool SendChipCommand(ProgrammerChannel& ch, const ChipSettings& chip, uint16_t subCommand, const OperationHeader& header);
bool SendProgramBlock(ProgrammerChannel& ch, const ChipSettings& chip, bool eep, uint16_t position,
                      const OperationHeader& header, std::span<const uint8_t> image, uint64_t offset);
bool SendReadBlock(ProgrammerChannel& ch, const ChipSettings& chip, bool eep, uint16_t position,
                   const OperationHeader& header);
// The option write: option data bytes 0..511 (the rest of the payload carries no data).
bool SendWriteOption(ProgrammerChannel& ch, const ChipSettings& chip, const OperationHeader& header,
                     std::span<const uint8_t> optionData);
bool SendReadRange(ProgrammerChannel& ch, const ChipSettings& chip, const OperationHeader& header, uint32_t start,
                   uint16_t length);
bool SendRestartUnit(ProgrammerChannel& ch);
// Block `index` of the firmware image (2048 image bytes per block).
bool SendFirmwareBlock(ProgrammerChannel& ch, uint16_t index, std::span<const uint8_t> image, RandomSource& random);
bool SendFirmwareDone(ProgrammerChannel& ch);
bool SendDiscoveryRequest(ProgrammerChannel& ch);

// The status of a decoded reply: 0x23 on a check-word mismatch, the status byte of a status reply, 0 for a
// data reply, or the packet error 0x20 for a reply too short to tell.
uint8_t ReplyStatus(std::span<const uint8_t> packet);

}  // namespace tarvel
