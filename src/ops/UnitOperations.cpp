#include "ops/UnitOperations.h"

#include <algorithm>

#include "base/Format.h"
#include "link/DeviceDiscovery.h"
#include "link/StatusCodes.h"
#include "ops/Commands.h"

namespace tarvel {

UnitOperations::UnitOperations(EventLoop& loop, InfoLog& log, DialogService& dialogs, ChipSettings& chip,
                               MemoryImage& image, RandomSource& random, PortFactory portFactory)
    : loop_(loop), log_(log), dialogs_(dialogs), chip_(chip), image_(image), random_(random),
      portFactory_(std::move(portFactory)) {
  for (int i = 0; i < kChannelCount; ++i) {
    channels_[static_cast<size_t>(i)] = std::make_unique<ProgrammerChannel>(i);
    ProgrammerChannel& c = channel(i);
    c.port = portFactory_(loop_);
    c.link.setFrameHandler([this, i](std::span<const uint8_t> frame) { onFrame(i, frame); });
    c.port->setOnReceiveData([this, i](std::span<const uint8_t> bytes) { channel(i).link.ReceiveData(bytes); });
    // A unit that went away: its port closes and the channel is neither connected nor busy. An idle
    // unit goes quietly; one in the middle of an operation has failed it, and says so.
    c.port->setOnRequestHangup([this, i] {
      ProgrammerChannel& ch = channel(i);
      ch.port->ClosePort();
      if (ch.connected && ch.busy) {
        FinishChannelOperation(i, true);
        ChannelMessage(i, kUnitGoneMessage);
      }
      ch.connected = false;
      ch.busy = false;
      ch.state = OperationState::Idle;
    });
    // Bytes around a line error cannot be trusted: start the frame search afresh.
    c.port->setOnReceiveError([this, i](uint32_t) { channel(i).link.ResetReceive(); });
    c.port->setOnNotice([this, i](const std::string& text) { ChannelMessage(i, text); });
  }
}

UnitOperations::~UnitOperations() { CloseAllPorts(); }

void UnitOperations::CloseAllPorts() {
  for (auto& c : channels_)
    if (c && c->port) c->port->ClosePort();
}

void UnitOperations::after(int milliseconds, std::function<void()> task) {
  auto id = std::make_shared<EventLoop::TimerId>(0);
  *id = loop_.addTimer(std::chrono::milliseconds(milliseconds), [this, id, task = std::move(task)] {
    loop_.removeTimer(*id);
    task();
  });
}

void UnitOperations::setGauge(int ch, int64_t progress, int64_t maximum) {
  GaugeState* g = channel(ch).gauge;
  if (!g) return;
  g->progress = progress;
  g->maxValue = maximum;
}

void UnitOperations::setColour(int ch, GaugeColour colour) {
  if (GaugeState* g = channel(ch).gauge) g->colour = colour;
}

OperationHeader UnitOperations::header(uint16_t parameter) {
  return BuildSettingsHeader(chip_, image_, settings, random_, parameter);
}

// ---- channel bookkeeping ------------------------------------------------------------------------------

void UnitOperations::BeginChannelOperation(int ch, uint16_t timeout, uint16_t total, bool blockMode) {
  ProgrammerChannel& c = channel(ch);
  c.position = 0;
  c.countdown = timeout;
  c.busy = true;
  c.endPosition = total != 0 ? total : 2;
  if (!blockMode)
    setGauge(ch, timeout / 100 + 10, timeout);
  else if (total != 0)
    setGauge(ch, 4, total);
  else
    setGauge(ch, 2, 4);
  setColour(ch, GaugeColour::Blue);
}

void UnitOperations::FinishChannelOperation(int ch, bool failed) {
  ProgrammerChannel& c = channel(ch);
  c.busy = false;
  setColour(ch, failed ? GaugeColour::Red : GaugeColour::Blue);
  if (GaugeState* g = c.gauge) g->progress = g->maxValue;
  c.state = OperationState::Idle;
}

void UnitOperations::ReportResult(uint8_t code, int ch) {
  FinishChannelOperation(ch, !IsSuccess(code));
  ChannelMessage(ch, StatusMessage(code));
}

void UnitOperations::Tick() {
  for (int i = 0; i < kChannelCount; ++i) {
    ProgrammerChannel& c = channel(i);
    if (!c.busy) continue;
    if (c.gaugeAdvance && c.gauge) ++c.gauge->progress;
    if (c.countdown > 0) --c.countdown;
    if (c.countdown == 0) {
      ChannelMessage(i, "命令执行操作超时！");
      FinishChannelOperation(i, true);
    }
  }
}

bool UnitOperations::AnyBusy() const {
  if (pendingRequests_ > 0) return true;
  for (int i = 0; i < kChannelCount; ++i)
    if (channel(i).busy) return true;
  return false;
}

// ---- the receive side ---------------------------------------------------------------------------------

void UnitOperations::openChannel(int ch, const std::string& portName) {
  ProgrammerChannel& c = channel(ch);
  c.port->setCommName(portName);
  c.port->OpenPort();
}

void UnitOperations::closeChannel(int ch) { channel(ch).port->ClosePort(); }

void UnitOperations::onFrame(int ch, std::span<const uint8_t> frame) {
  if (channel(ch).connected)
    dispatchReply(ch, frame);
  else
    discoveryReply(ch, frame);
}

void UnitOperations::dispatchReply(int ch, std::span<const uint8_t> frame) {
  ProgrammerChannel& c = channel(ch);
  const DecodedFrame d = c.link.Decode(frame);
  if (d.status != kFrameGood) {
    // Undecodable: the running operation fails. An idle channel has nothing to end.
    if (c.state == OperationState::Idle && !c.busy) return;
    ReportResult(kPacketError, ch);
    return;
  }
  const std::span<const uint8_t> packet(c.link.packetBuffer.data(), d.length);
  if (packet[0] == 0xFD) {
    progressRecord(ch, packet);
    return;
  }
  const uint8_t status = ReplyStatus(packet);
  const std::span<const uint8_t> data = packet.size() > 10 ? packet.subspan(8, packet.size() - 10) : std::span<const uint8_t>();
  switch (c.state) {
    case OperationState::DownloadConfig:
    case OperationState::DownloadFlash:
    case OperationState::DownloadEep: onDownload(ch, status); break;
    case OperationState::BlankCheck: onBlankCheck(ch, status); break;
    case OperationState::Erase: onErase(ch, status); break;
    case OperationState::ProgramFlash: onProgram(ch, status, false); break;
    case OperationState::ProgramEep: onProgram(ch, status, true); break;
    case OperationState::VerifyFlash: onVerify(ch, status, false, data); break;
    case OperationState::VerifyEep: onVerify(ch, status, true, data); break;
    case OperationState::WriteOption: onWriteOption(ch, status); break;
    case OperationState::ReadFlash:
    case OperationState::ReadEep:
    case OperationState::ReadOption:
    case OperationState::ReadChecksum: onRead(ch, status, data); break;
    case OperationState::FirmwareUpgrade: onFirmwareBlock(ch, status); break;
    case OperationState::ReadChipInfo:
    case OperationState::ReadRange:
      // Only ever started on the first unit.
      if (ch == 0) onRead(ch, status, data);
      break;
    default: break;  // no handler (Idle among them): the reply is dropped
  }
}

// ---- device discovery ---------------------------------------------------------------------------------

void UnitOperations::SearchDevices() {
  for (int i = 0; i < kChannelCount; ++i) {
    ProgrammerChannel& c = channel(i);
    closeChannel(i);
    c.connected = false;
    c.busy = false;
    setGauge(i, 0, 100);
    setColour(i, GaugeColour::Blue);
  }
  const std::vector<std::string> ports = searchPorts ? searchPorts() : std::vector<std::string>{};
  if (!ports.empty()) {
    foundCount = 0;
    for (int i = 0; i < static_cast<int>(ports.size()) && i < unitCount && i < kChannelCount; ++i) {
      ProgrammerChannel& c = channel(i);
      closeChannel(i);
      c.link.ResetReceive();
      c.countdown = kSearchTicks;
      c.connected = false;
      if (c.gauge) c.gauge->progress = 0;
      if (onInfoPanel) onInfoPanel("Searching Devices............");
      log_.MainMessage(Format("Checking Device %d In %s............", i + 1, ports[static_cast<size_t>(i)]));
      openChannel(i, ports[static_cast<size_t>(i)]);
    }
  }
  if (unitCount == 0) {
    log_.MainMessage("No Device has been Connected!");
    return;
  }
  // The requests go out 100 ms apart, after a first 50 ms; replies are handled whenever they come.
  const int count = std::min(unitCount, kChannelCount);
  pendingRequests_ = count;
  for (int i = 0; i < count; ++i) {
    after(50 + 100 * (i + 1), [this, i] {
      if (channel(i).port->isOpen()) SendDiscoveryRequest(channel(i));
      --pendingRequests_;
    });
  }
}

void UnitOperations::discoveryReply(int ch, std::span<const uint8_t> frame) {
  ProgrammerChannel& c = channel(ch);
  const DecodedFrame d = c.link.Decode(frame);
  if (d.status != kFrameGood) return;
  const std::span<const uint8_t> packet(c.link.packetBuffer.data(), d.length);
  if (packet[0] == 0xFD) {
    progressRecord(ch, packet);
    return;
  }
  if (packet[0] == 0xFA) return;
  const IdentifyResult mine = IdentifyUnit(packet, kHostModelName, firmwareVersion);
  if (mine.result != Identification::NoMatch) {
    ++foundCount;
    c.connected = true;
    c.state = OperationState::Idle;
    c.countdown = kConnectedTicks;
    if (onInfoPanel) onInfoPanel(mine.text);
    ChannelMessage(ch, Format("找到设备：%s!", mine.text));
    if (mine.result == Identification::Older && onFirmwareUpgradeNeeded) onFirmwareUpgradeNeeded(ch);
    return;
  }
  const IdentifyResult generic = IdentifyUnit(packet, kGenericModelName, firmwareVersion);
  if (generic.result != Identification::NoMatch) {
    if (onFirmwareUpgradeNeeded) onFirmwareUpgradeNeeded(ch);
    return;
  }
  c.connected = false;
  if (onInfoPanel) onInfoPanel("未找到设备！");
  ChannelMessage(ch, "未找到设备!");
}

// ---- progress records of units that program on their own ----------------------------------------------

void UnitOperations::progressRecord(int ch, std::span<const uint8_t> packet) {
  if (packet.size() < 8) return;
  uint8_t sum = 0;
  for (size_t i = 0; i < 8; ++i) sum = static_cast<uint8_t>(sum + packet[i]);
  if (sum != 0) return;
  ProgrammerChannel& c = channel(ch);
  const uint8_t stage = packet[1];
  const uint8_t sub = packet[2];
  const uint16_t value = static_cast<uint16_t>(packet[3] | packet[4] << 8);
  const uint16_t second = static_cast<uint16_t>(packet[5] | packet[6] << 8);
  auto halfway = [&](const char* text, bool blue) {
    ChannelMessage(ch, text);
    setGauge(ch, 50, 100);
    if (blue) setColour(ch, GaugeColour::Blue);
  };
  switch (stage) {
    case 0x10:
      if (sub == 0) {
        ChannelMessage(ch, "Initial Programming Interface ....");
        setGauge(ch, 5, 100);
        setColour(ch, GaugeColour::Blue);
      } else if (sub == 0x13) {
        ChannelMessage(ch, Format("Read Chip ID is : 0x%0.2x,0x%0.2x.", value, second));
        setGauge(ch, 10, 100);
        setColour(ch, GaugeColour::Blue);
      }
      break;
    case 0x20: halfway("Chip Blank Checking....", false); break;
    case 0x30: halfway("Do Chip Erasing....", false); break;
    case 0x40:
      if (value == 0) ChannelMessage(ch, "Do Main Flash Programming....");
      setGauge(ch, value + 2, second);
      setColour(ch, GaugeColour::Blue);
      break;
    case 0x49:
      halfway(sub == 1 ? "Do Parameters Data Section Programming...." : "Do Script Data Section Programming....", true);
      break;
    case 0x50:
      if (value == 0) ChannelMessage(ch, "Do EEP Data Programming....");
      setGauge(ch, value + 2, second);
      break;
    case 0x70: halfway("Do Main Flash Verification....", true); break;
    case 0x80: halfway("Do EEP Data Verification....", false); break;
    case 0xA0: halfway("Do Chip Option Byte Programming....", false); break;
    case 0xF0: {
      const bool ok = sub == 6;
      if (ok)
        ++c.okCount;
      else
        ++c.ngCount;
      ChannelMessage(ch, ok ? std::string("Progrmming Completed : Successed !")
                            : Format("Progrmming Completed : Failed : Error=0x%0.2x!", sub));
      ChannelMessage(ch, Format("OK=%d, NG=%d.", c.okCount, c.ngCount));
      setColour(ch, ok ? GaugeColour::Blue : GaugeColour::Red);
      if (c.gauge) c.gauge->progress = c.gauge->maxValue;
      break;
    }
    default: break;
  }
}

// ---- off-line start -----------------------------------------------------------------------------------

void UnitOperations::StartOffline() {
  log_.MainMessage("Start Off-Line Programming......");
  for (int i = 0; i < unitCount && i < kChannelCount; ++i) {
    ProgrammerChannel& c = channel(i);
    c.link.ResetReceive();
    c.connected = false;
    c.busy = false;
    c.state = OperationState::Idle;
    if (c.gauge) c.gauge->progress = 0;
    closeChannel(i);
  }
  const std::vector<std::string> ports = searchPorts ? searchPorts() : std::vector<std::string>{};
  // Ports that cannot be opened are skipped: the next listed port goes to the next channel.
  int ch = 0;
  for (size_t p = 0; p < ports.size() && ch < unitCount && ch < kChannelCount; ++p) {
    ProgrammerChannel& c = channel(ch);
    c.countdown = kSearchTicks;
    try {
      openChannel(ch, ports[p]);
    } catch (const std::exception&) {
      continue;
    }
    const int opened = ch++;
    after(30, [this, opened] {
      if (channel(opened).port->isOpen()) SendRestartUnit(channel(opened));
    });
  }
}

}  // namespace tarvel
