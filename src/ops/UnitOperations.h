// Everything the host runs on its programmer units: the ten channels, device discovery, the operations
// (download, the programming sequence, off-line start), reply dispatch, the units' own progress reports,
// and the 10 ms tick with its watchdogs. Runs on the loop thread only.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/DialogService.h"
#include "base/EventLoop.h"
#include "base/InfoLog.h"
#include "base/RandomSource.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"
#include "ops/FirmwareFile.h"
#include "ops/ProgrammerChannel.h"
#include "ops/SettingsHeader.h"

namespace tarvel {

inline constexpr int kChannelCount = 10;

// The user commands that fan out to every idle, connected unit.
enum class UnitCommand { Download, AutoProgram, BlankCheck, Erase, Program, Verify, WriteOption, WriteEep };

// The reads of the chip in the first unit's socket.
enum class ChipRead { MainMemory, EepMemory, OptionSetting, CheckSum, ChipInformation, SpecificAddress };

// What a fan-out needs to know of the window at that moment.
struct FanOutContext {
  bool chipSelected = false;
  bool fileLoaded = false;
  std::string objectFileName;
  WindowSettings window;
};

class UnitOperations {
 public:
  using PortFactory = std::function<std::unique_ptr<SerialPort>(EventLoop&)>;

  UnitOperations(EventLoop& loop, InfoLog& log, DialogService& dialogs, ChipSettings& chip, MemoryImage& image,
                 RandomSource& random, PortFactory portFactory);
  ~UnitOperations();
  UnitOperations(const UnitOperations&) = delete;
  UnitOperations& operator=(const UnitOperations&) = delete;

  ProgrammerChannel& channel(int i) { return *channels_[static_cast<size_t>(i)]; }
  const ProgrammerChannel& channel(int i) const { return *channels_[static_cast<size_t>(i)]; }
  void attachGauge(int i, GaugeState* gauge) { channel(i).gauge = gauge; }

  // ---- state shared with the window ----
  int unitCount = 1;
  int foundCount = 0;
  int downloadCount = 0;
  bool noRestart = false;       // unattended download with "OFF": the units stay in host mode
  std::string firmwareVersion;  // of the firmware file; empty without one
  OperationSettings settings;   // captured by the last ApplyWindowSettings
  bool fileLoaded = false;      // as of the last fan-out
  std::string objectFileName;

  // ---- hooks the window fills in ----
  std::function<void(const std::string&)> onInfoPanel;
  // The port search of the window (fills its port list, sets unitCount); returns the ports in order.
  std::function<std::vector<std::string>()> searchPorts;
  // A unit needs new firmware (older version or the generic model).
  std::function<void(int channel)> onFirmwareUpgradeNeeded;
  // A read finished: the main-flash image, or the EEP image, holds the chip's data now.
  std::function<void()> onFlashRead;
  std::function<void()> onEepRead;
  // The option bytes read from unit `channel` (the reply payload), for the family's report.
  std::function<void(int channel, std::span<const uint8_t> payload)> onOptionRead;
  // AdvanceSerial changed the serial number (the window shows it).
  std::function<void(uint32_t serial)> onSerialChanged;
  // Rows of the main-flash view changed at this address (serial number written).
  std::function<void(uint32_t address)> onFlashRowsChanged;

  // ---- device discovery ----
  // Closes every port, runs the port search and opens the listed ports; the discovery requests go out
  // 100 ms apart afterwards, and replies are handled as they arrive. Throws ECommsError when a port
  // cannot be opened (later ports are not opened, no request is sent).
  void SearchDevices();

  // ---- operations ----
  // Checks the preconditions (boxes as the window shows them), captures the settings (all but Program)
  // and starts the command on every connected, idle unit among the first unitCount. False when refused.
  bool FanOut(UnitCommand command, const FanOutContext& context);
  // The download of one unit (also used by the unattended download).
  void StartDownload(int ch);
  void StartOffline();
  // A read on unit 1. Checks the chip and the connection (boxes as the window shows them) and captures
  // the settings where the read does; the window has switched pages and, for an address range, shown its
  // dialog. False when refused.
  bool StartRead(ChipRead command, const FanOutContext& context, uint32_t rangeStart = 0, uint16_t rangeLength = 0);
  // The preconditions alone (an address-range read asks for its range only when they hold).
  bool ReadPreconditions(const FanOutContext& context);

  // ---- firmware upgrade ----
  FirmwareFileResult firmware;  // the firmware the units can be upgraded to
  // Sends the firmware to one unit (from the menu, or for a unit the search found outdated); nothing
  // happens without a valid firmware file.
  void StartFirmwareUpgrade(int ch);
  // Any unit among the first unitCount still being upgraded.
  bool AnyUpgrading() const;
  // Set by every upgrade start; the window clears it when it searches again after them.
  bool upgradeStarted = false;

  // ---- serial numbers ----
  void WriteSerialIntoImage();
  void AdvanceSerial();

  // ---- events ----
  void Tick();  // every 10 ms
  // Any unit busy among the first unitCount (or a discovery still sending its requests).
  bool AnyBusy() const;
  bool searching() const { return pendingRequests_ > 0; }

  void ChannelMessage(int ch, const std::string& text) { log_.ChannelMessage(text, ch); }
  void BeginChannelOperation(int ch, uint16_t timeout, uint16_t total, bool blockMode);
  void FinishChannelOperation(int ch, bool failed);
  void ReportResult(uint8_t code, int ch);
  void CloseAllPorts();

 private:
  void openChannel(int ch, const std::string& portName);
  void closeChannel(int ch);
  void onFrame(int ch, std::span<const uint8_t> frame);
  void dispatchReply(int ch, std::span<const uint8_t> frame);
  void discoveryReply(int ch, std::span<const uint8_t> frame);
  void progressRecord(int ch, std::span<const uint8_t> packet);
  void after(int milliseconds, std::function<void()> task);
  void setGauge(int ch, int64_t progress, int64_t maximum);
  void setColour(int ch, GaugeColour colour);
  OperationHeader header(uint16_t parameter = 0);

  // Starters and result handlers.
  void startBlankCheck(int ch, bool automatic);
  void startErase(int ch, const char* message);
  void startProgramFlash(int ch);
  void startProgramEep(int ch);
  void startVerifyFlash(int ch);
  void startVerifyEep(int ch);
  void startWriteOption(int ch);
  void onDownload(int ch, uint8_t status);
  void onBlankCheck(int ch, uint8_t status);
  void onErase(int ch, uint8_t status);
  void onProgram(int ch, uint8_t status, bool eep);
  void onVerify(int ch, uint8_t status, bool eep, std::span<const uint8_t> data);
  void onWriteOption(int ch, uint8_t status);
  void onRead(int ch, uint8_t status, std::span<const uint8_t> data);
  void onFirmwareBlock(int ch, uint8_t status);
  // The flash image as unit `ch` programs it: with the host writing serial numbers, each unit's chip
  // gets its own number (the start number + channel x gain), not the one the image holds for unit 1.
  uint8_t flashByteFor(int ch, uint64_t offset) const;
  bool sendFlashProgramBlock(int ch, uint16_t position);
  void nextDownloadStage(int ch);
  void afterFlashProgrammed(int ch);
  void afterVerified(int ch, bool eep);

  EventLoop& loop_;
  InfoLog& log_;
  DialogService& dialogs_;
  ChipSettings& chip_;
  MemoryImage& image_;
  RandomSource& random_;
  PortFactory portFactory_;
  std::array<std::unique_ptr<ProgrammerChannel>, kChannelCount> channels_;
  int pendingRequests_ = 0;
  uint32_t serialOfRun_ = 0;  // the number written into the image for this run (unit 1's)
  bool serialInImage_ = false;
  uint32_t rangeStart_ = 0;
  uint16_t rangeLength_ = 0;
};

}  // namespace tarvel
