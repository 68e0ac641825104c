// The firmware upgrade of the units: the firmware image goes out block by block, then the unit restarts.
#include "base/Format.h"
#include "link/StatusCodes.h"
#include "ops/Commands.h"
#include "ops/UnitOperations.h"

namespace tarvel {

void UnitOperations::StartFirmwareUpgrade(int ch) {
  if (!firmware.valid) return;
  ProgrammerChannel& c = channel(ch);
  upgradeStarted = true;
  c.upgrading = true;
  c.connected = true;  // its replies go to the operation handlers
  c.state = OperationState::FirmwareUpgrade;
  c.gaugeAdvance = false;
  c.busy = true;
  c.countdown = kFirstReplyTicks;
  c.position = 0;
  c.endPosition = static_cast<uint16_t>(firmware.blockCount());
  setGauge(ch, 2, c.endPosition);
  setColour(ch, GaugeColour::Blue);
  ChannelMessage(ch, Format("开始升级编程器%d固件......", ch + 1));
  SendFirmwareBlock(c, 0, firmware.image, random_);
}

void UnitOperations::onFirmwareBlock(int ch, uint8_t status) {
  ProgrammerChannel& c = channel(ch);
  if (status != kStatusAck) {
    ReportResult(status, ch);
    return;
  }
  if (c.gauge) ++c.gauge->progress;
  ++c.position;
  if (c.position < c.endPosition) {
    SendFirmwareBlock(c, c.position, firmware.image, random_);
    return;
  }
  c.upgrading = false;
  SendFirmwareDone(c);
  ChannelMessage(ch, Format("Firmware %d Upgrade Completed!", ch + 1));
  FinishChannelOperation(ch, false);
}

bool UnitOperations::AnyUpgrading() const {
  for (int i = 0; i < unitCount && i < kChannelCount; ++i)
    if (channel(i).upgrading) return true;
  return false;
}

}  // namespace tarvel
