// One simulated programmer unit: what it does with every frame the host sends, and what it sends by
// itself while programming chips on its own. It does no I/O: the bytes it receives are handed in, the
// frames it sends go to its UnitLine, and time is passed in, so it can run on a pseudo-terminal
// (UnitPort) or directly in a test.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/FrameLayer.h"
#include "link/LinkPacket.h"
#include "unitsim/EmulatedChip.h"
#include "unitsim/SimOptions.h"

namespace tarvel::unitsim {

class CommandLog;

using SimClock = std::chrono::steady_clock;

// Where a unit's output goes.
class UnitLine {
 public:
  virtual ~UnitLine() = default;
  // One encoded frame (trailer included).
  virtual void SendFrame(std::span<const uint8_t> frame) = 0;
  // The unit is unplugged once what it has sent is out.
  virtual void HangUp() = 0;
};

// Progress record stages.
namespace Stage {
constexpr uint8_t Interface = 0x10;
constexpr uint8_t BlankCheck = 0x20;
constexpr uint8_t Erase = 0x30;
constexpr uint8_t ProgramFlash = 0x40;
constexpr uint8_t ProgramEep = 0x50;
constexpr uint8_t VerifyFlash = 0x70;
constexpr uint8_t VerifyEep = 0x80;
constexpr uint8_t Option = 0xA0;
constexpr uint8_t Result = 0xF0;
}  // namespace Stage

// Unit-side status codes beyond the link's own.
namespace UnitStatus {
constexpr uint8_t WriteProtected = 0x10;
constexpr uint8_t ReadProtected = 0x13;
constexpr uint8_t NotBlank = 0x15;
constexpr uint8_t UnknownCommand = 0x25;
constexpr uint8_t VerifyFailed = 0x31;
constexpr uint8_t NoSuchChip = 0x36;
constexpr uint8_t Failed = 0x45;
constexpr uint8_t SerialNumberFailed = 0x47;
}  // namespace UnitStatus

class SimulatedUnit {
 public:
  SimulatedUnit(UnitSettings settings, UnitLine& line, CommandLog* log);

  // Bytes from the host, as they arrive.
  void Receive(std::span<const uint8_t> bytes, SimClock::time_point now);
  // Lets time pass: chip insertions of standalone mode.
  void Poll(SimClock::time_point now);
  // When Poll has something to do next.
  std::optional<SimClock::time_point> NextEvent() const;

  // What the unit holds, for the memory files and tests.
  const EmulatedChip& chip() const { return chip_; }
  const std::vector<uint8_t>& storedFlash() const { return storedFlash_; }
  const std::vector<uint8_t>& storedEep() const { return storedEep_; }
  const std::vector<uint8_t>& firmware() const { return firmware_; }
  bool hasConfig() const { return config_.has_value(); }
  bool standalone() const { return standalone_; }
  std::string identification() const { return model_ + " " + version_; }
  uint32_t currentSerial() const { return serial_; }
  uint32_t goodParts() const { return goodParts_; }
  const UnitSettings& settings() const { return settings_; }

 private:
  struct Request;

  bool dead() const;
  void OnFrame(std::span<const uint8_t> frame);
  void Handle(Request& r);
  // A status to answer with, or nothing when the command sent its own reply.
  std::optional<uint8_t> Execute(Request& r);
  std::optional<uint8_t> ExecuteChipCommand(Request& r);
  // Takes the chip the header describes; false (with the status) when there is no such chip.
  bool AdoptGeometry(std::span<const uint8_t> header, uint8_t& status);
  void InsertChip(const ChipGeometry& g);

  void AnswerDiscovery();
  void SendStatus(Request& r, uint8_t status, uint8_t mark = 0);
  void SendData(Request& r, std::span<const uint8_t> data);
  void SendPacket(size_t length);
  void SendRecord(uint8_t stage, uint8_t code, uint16_t value, uint16_t value2);
  void LogRequest(const Request& r);

  void EnterStandalone();
  void RunCycle();
  uint8_t ProgramInsertedChip();

  UnitSettings settings_;
  UnitLine& line_;
  CommandLog* log_;
  uint16_t countdown_ = 0;  // the receive path reloads it; a unit keeps no watchdog
  std::unique_ptr<ChannelLink> link_;
  std::array<uint8_t, kPacketBufferSize> reply_{};
  std::array<uint8_t, kTxBufferSize> frame_{};

  std::string model_;
  std::string version_;
  uint32_t requests_ = 0;
  bool mute_ = false;    // answers nothing any more
  bool hungUp_ = false;  // unplugged
  SimClock::time_point now_{};

  std::optional<std::array<uint8_t, kConfigBlockLength>> config_;
  std::vector<uint8_t> storedFlash_;
  std::vector<uint8_t> storedEep_;
  EmulatedChip chip_;
  uint32_t chipsInserted_ = 0;

  bool standalone_ = false;
  std::optional<SimClock::time_point> nextInsertion_;
  uint32_t sessionCycles_ = 0;
  uint32_t goodParts_ = 0;
  uint32_t serial_ = 0;

  std::vector<uint8_t> firmware_;
  uint32_t firmwareBlocks_ = 0;  // blocks received in the upgrade running
};

// Layout of the configuration block, as far as a unit reads it.
namespace ConfigField {
constexpr size_t Header = 4;
constexpr size_t Flags = 84;  // bit 0 serial numbers, bit 2 big-endian, bit 6 count limited
constexpr size_t SerialLength = 85;
constexpr size_t MaxCount = 86;
constexpr size_t SerialStep = 90;
constexpr size_t SerialAddress = 92;
constexpr size_t FirstSerial = 96;
constexpr size_t OptionLow = 112;   // option bytes 0..127
constexpr size_t OptionHigh = 304;  // option bytes 128..331
}  // namespace ConfigField

// Fields of the settings header a unit reads.
namespace HeaderField {
constexpr size_t AutoDetect = 7;
constexpr size_t FlashSizeKB = 16;
constexpr size_t EepSize = 20;
constexpr size_t FlashStart = 24;
constexpr size_t EepStart = 28;
constexpr size_t ControlFlags1 = 33;  // bit 3 stop when not blank, bit 4 blank value 0x00
constexpr size_t OperationMask = 35;
constexpr size_t ChipId2 = 46;
constexpr size_t ChipId = 66;
constexpr size_t DriverSize = 78;
}  // namespace HeaderField

constexpr uint8_t kAutoDetectOn = 15;

// The chip a settings header describes (the first 34 bytes suffice).
ChipGeometry GeometryOf(std::span<const uint8_t> header);

}  // namespace tarvel::unitsim
