// The commands the operations send, built into a channel's packet buffer and queued on its port.
#pragma once

#include <cstdint>
#include <span>

#include "chips/ChipSettings.h"
#include "ops/ProgrammerChannel.h"
#include "ops/SettingsHeader.h"

namespace tarvel {

enum : uint8_t {
  kCmdDownloadConfig = 0x53,
  kCmdDownloadFlashBlock = 0x55,
  kCmdDownloadEepBlock = 0x5A,
  kCmdChipCommand = 0x93,
  kCmdProgramFlashBlock = 0x95,
  kCmdProgramEepBlock = 0x99,
  kCmdReadFlashBlock = 0x9B,
  kCmdReadEepBlock = 0x9D,
  kCmdRestartUnit = 0x8A,
  kCmdFirmwareBlock = 0xB7,
  kCmdFirmwareDone = 0xBD,
};

enum : uint16_t {
  kSubErase = 3,
  kSubBlankCheck = 5,
  kSubReadChecksum = 48,
  kSubReadOption = 51,
  kSubWriteOption = 53,
  kSubReadChipInfo = 60,
  kSubReadRange = 121,
};

inline constexpr size_t kBlockSize = 4096;

// Each returns whether the port took the frame; callers do not act on it (the watchdog does).
bool SendDownloadConfig(ProgrammerChannel& ch, const ChipSettings& chip, uint16_t argument, const ConfigBlock& block);
// A 4 KiB block of `image` from `offset`; bytes beyond the image are sent as 0xFF.
bool SendBlock(ProgrammerChannel& ch, const ChipSettings& chip, uint8_t command, uint16_t position,
               std::span<const uint8_t> image, uint64_t offset);
// The settings header, then `data` (a 4 KiB image block for the program commands, the option data for
// the option write, nothing for the others).
bool SendWithHeader(ProgrammerChannel& ch, const ChipSettings& chip, uint8_t command, uint16_t argument,
                    const SettingsHeader& header, std::span<const uint8_t> data = {}, size_t dataLength = 0);
// Only the first `length` bytes of the settings header as the payload (the address-range read).
bool SendHeaderPrefix(ProgrammerChannel& ch, const ChipSettings& chip, uint8_t command, uint16_t argument,
                      const SettingsHeader& header, size_t length);
bool SendRestartUnit(ProgrammerChannel& ch);
bool SendDiscoveryRequest(ProgrammerChannel& ch);

// The status of a decoded reply: 0x23 on a check-word mismatch, the status byte of a status reply, or 0.
uint8_t ReplyStatus(std::span<const uint8_t> packet);

}  // namespace tarvel
