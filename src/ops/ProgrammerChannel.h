// One programmer unit on one serial port: the link buffers, the operation bookkeeping and the counts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "base/Controls.h"
#include "link/FrameLayer.h"
#include "link/SerialPort.h"

namespace tarvel {

// Which step the next reply of a channel belongs to. The numbers are the host's own.
enum class OperationState : uint8_t {
  DownloadConfig = 3,
  DownloadFlash = 5,
  DownloadEep = 6,
  BlankCheck = 16,
  Erase = 21,
  ProgramFlash = 25,
  ProgramEep = 26,
  WriteOption = 31,
  VerifyFlash = 32,
  VerifyEep = 35,
  ReadFlash = 37,
  ReadEep = 38,
  ReadChecksum = 42,
  ReadOption = 44,
  ReadChipInfo = 53,
  ReadRange = 58,
  FirmwareUpgrade = 160,
  Idle = 240,
};

inline constexpr uint16_t kFirstReplyTicks = 500;   // 5 s to the first reply
inline constexpr uint16_t kEraseReplyTicks = 2000;  // 20 s for an erase
inline constexpr uint16_t kSearchTicks = 300;
inline constexpr uint16_t kConnectedTicks = 500;

// A unit unplugged in the middle of an operation.
inline constexpr const char* kUnitGoneMessage = "设备连接已断开，操作失败！";

struct ProgrammerChannel {
  explicit ProgrammerChannel(int i) : index(i) {}
  ProgrammerChannel(const ProgrammerChannel&) = delete;
  ProgrammerChannel& operator=(const ProgrammerChannel&) = delete;

  const int index;  // 0..9; the user sees index + 1
  bool connected = false;
  OperationState state = OperationState::Idle;
  bool busy = false;
  bool autoSequence = false;
  bool gaugeAdvance = false;
  uint16_t countdown = 0;
  uint16_t position = 0;     // KiB transferred
  uint16_t endPosition = 0;  // KiB at which the transfer is complete
  int32_t okCount = 0;
  int32_t ngCount = 0;
  bool upgrading = false;  // a firmware upgrade runs on this unit

  // Four KiB more transferred; true while blocks remain. Counted wide: a transfer that ends at the top of
  // the 16-bit KiB count (a flash size from a project file) ends there instead of starting over at 0.
  bool stepTransfer() {
    const uint32_t next = uint32_t{position} + 4;
    position = static_cast<uint16_t>(std::min<uint32_t>(next, 0xFFFF));
    return next < endPosition;
  }

  GaugeState* gauge = nullptr;
  ChannelLink link{countdown};
  std::unique_ptr<SerialPort> port;
};

}  // namespace tarvel
