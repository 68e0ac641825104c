#include "unitsim/SimulatedUnit.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "image/Checksums.h"
#include "unitsim/CommandLog.h"

namespace tarvel::unitsim {
namespace {

constexpr uint8_t kRevision = 0x01;
constexpr size_t kMaxFirmwareBlocks = 512;
constexpr size_t kChipInfoLength = 4 + 2 * kOptionBytes;
constexpr uint8_t kInterfaceReady = 0x00;
constexpr uint8_t kChipIdRead = 0x13;

// OperationMask bits: which steps a unit runs on its own.
namespace Step {
constexpr uint8_t BlankCheck = 0x01;
constexpr uint8_t Erase = 0x02;
constexpr uint8_t ProgramFlash = 0x04;
constexpr uint8_t ProgramEep = 0x08;
constexpr uint8_t VerifyFlash = 0x10;
constexpr uint8_t VerifyEep = 0x20;
constexpr uint8_t Option = 0x40;
}  // namespace Step

constexpr uint8_t kStopWhenNotBlank = 0x08;  // ControlFlags1
constexpr uint8_t kBlankIsZero = 0x10;       // ControlFlags1
constexpr uint8_t kSerialEnabled = 0x01;     // configuration flags
constexpr uint8_t kSerialBigEndian = 0x04;
constexpr uint8_t kCountLimited = 0x40;

uint32_t RoundUpToBlock(uint32_t n) {
  return (n + kDataBlockLength - 1) / kDataBlockLength * kDataBlockLength;
}

std::string Hex(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

}  // namespace

ChipGeometry GeometryOf(std::span<const uint8_t> header) {
  ChipGeometry g;
  if (header.size() <= HeaderField::ControlFlags1) return g;
  g.flashBytes = uint32_t{ReadLe16(header, HeaderField::FlashSizeKB)} * 1024;
  g.eepBytes = ReadLe16(header, HeaderField::EepSize);
  g.flashStart = ReadLe32(header, HeaderField::FlashStart);
  g.eepStart = ReadLe32(header, HeaderField::EepStart);
  g.blank = (header[HeaderField::ControlFlags1] & kBlankIsZero) ? 0x00 : 0xFF;
  return g;
}

struct SimulatedUnit::Request {
  bool discovery = false;
  bool decoded = false;
  bool checkGood = false;
  bool lengthGood = false;
  std::span<const uint8_t> packet;
  uint8_t command = 0;
  uint16_t argument = 0;
  LinkSettingsBytes settings;
  std::span<const uint8_t> payload;
  std::vector<uint8_t> header;  // as the log shows it
  nlohmann::json extra = nlohmann::json::object();
  // The answer: "status", "data", "identification", or nothing.
  const char* reply = nullptr;
  uint8_t status = 0;
};

SimulatedUnit::SimulatedUnit(UnitSettings settings, UnitLine& line, CommandLog* log)
    : settings_(std::move(settings)),
      line_(line),
      log_(log),
      link_(std::make_unique<ChannelLink>(countdown_)),
      model_(settings_.model),
      version_(settings_.version) {
  link_->setFrameHandler([this](std::span<const uint8_t> frame) { OnFrame(frame); });
}

void SimulatedUnit::Receive(std::span<const uint8_t> bytes, SimClock::time_point now) {
  now_ = now;
  link_->ReceiveData(bytes);
}

bool SimulatedUnit::dead() const {
  return settings_.silent || mute_;
}

std::optional<SimClock::time_point> SimulatedUnit::NextEvent() const {
  if (dead()) return std::nullopt;
  return nextInsertion_;
}

void SimulatedUnit::OnFrame(std::span<const uint8_t> frame) {
  if (hungUp_) return;
  Request r;
  r.discovery = frame.size() == 2 + kDiscoverySignature.size() &&
                std::equal(kDiscoverySignature.begin(), kDiscoverySignature.end(), frame.begin() + 1);
  if (!r.discovery) {
    const DecodedFrame d = link_->Decode(frame);
    if (d.status == kFrameGood) {
      r.decoded = true;
      r.packet = std::span<const uint8_t>(link_->packetBuffer.data(), d.length);
      r.command = r.packet[0];
      r.argument = PacketArgument(r.packet);
      r.settings = {r.packet[3], r.packet[4], r.packet[5]};
      const size_t n = d.length;
      r.checkGood = n >= kPacketOverhead &&
                    ReadLe16(r.packet, n - 2) == LinkChecksum(r.packet, 0, static_cast<uint32_t>(n - 3));
      r.lengthGood = n >= kPacketOverhead && PacketPayloadLength(r.packet) == n - kPacketOverhead;
      r.payload = PacketPayload(r.packet);
    }
  }

  ++requests_;
  if (settings_.silentAfter && requests_ > *settings_.silentAfter) mute_ = true;
  if (settings_.hangupAfter && requests_ > *settings_.hangupAfter) mute_ = true;  // N = 0: nothing answered
  if (!dead()) Handle(r);
  LogRequest(r);
  if (settings_.hangupAfter && requests_ >= *settings_.hangupAfter && !hungUp_) {
    mute_ = hungUp_ = true;
    nextInsertion_.reset();
    line_.HangUp();
  }
}

void SimulatedUnit::Handle(Request& r) {
  if (r.discovery) {
    AnswerDiscovery();
    r.reply = "identification";
    return;
  }
  if (!r.decoded) return SendStatus(r, kPacketError);
  if (!r.checkGood) return SendStatus(r, kStatusCheckMismatch);
  if (!r.lengthGood) return SendStatus(r, kPacketError);

  // Any command takes the unit back from standalone work; RestartUnit sends it there again.
  standalone_ = false;
  nextInsertion_.reset();

  for (const StatusOverride& o : settings_.statusOverrides) {
    if (o.command == r.command &&
        (!o.subCommand || (r.command == LinkCommand::ChipCommand && *o.subCommand == r.argument))) {
      return SendStatus(r, o.code);
    }
  }
  if (const std::optional<uint8_t> status = Execute(r)) SendStatus(r, *status);
}

std::optional<uint8_t> SimulatedUnit::Execute(Request& r) {
  const auto payload = r.payload;
  switch (r.command) {
    case LinkCommand::DownloadConfig: {
      if (payload.size() != kConfigPayloadLength) return UnitStatus::Failed;
      std::array<uint8_t, kConfigPayloadLength> block{};
      std::copy(payload.begin(), payload.end(), block.begin());
      UnscrambleConfigPayload(block, r.argument);
      r.header.assign(block.begin() + ConfigField::Header,
                      block.begin() + ConfigField::Header + kSettingsHeaderLength);
      const auto first = std::span<const uint8_t>(block).first<kConfigBlockLength>();
      const bool sound = ConfigBlockSound(first) &&
                         std::equal(first.begin(), first.end(), block.begin() + kConfigBlockLength);
      r.extra["configGood"] = sound;
      if (!sound) return UnitStatus::Failed;
      const std::span<const uint8_t> header(r.header);
      const ChipGeometry g = GeometryOf(header);
      const uint32_t eepArea = std::max<uint32_t>(g.eepBytes, ReadLe16(header, HeaderField::DriverSize));
      if (g.flashBytes > kMaxChipFlashBytes) return UnitStatus::NoSuchChip;
      config_.emplace();
      std::copy(first.begin(), first.end(), config_->begin());
      storedFlash_.assign(RoundUpToBlock(g.flashBytes), g.blank);
      storedEep_.assign(std::min(RoundUpToBlock(eepArea), kMaxChipEepBytes), g.blank);
      goodParts_ = 0;
      serial_ = ReadLe32(*config_, ConfigField::FirstSerial);
      return kStatusAck;
    }
    case LinkCommand::DownloadFlashBlock:
    case LinkCommand::DownloadEepBlock: {
      auto& stored = r.command == LinkCommand::DownloadFlashBlock ? storedFlash_ : storedEep_;
      const uint32_t offset = uint32_t{r.argument} * 1024;
      if (!config_ || payload.size() != kDataBlockLength || offset >= stored.size())
        return UnitStatus::Failed;
      const size_t n = std::min<size_t>(kDataBlockLength, stored.size() - offset);
      std::copy(payload.begin(), payload.begin() + static_cast<ptrdiff_t>(n), stored.begin() + offset);
      return kStatusAck;
    }
    case LinkCommand::ChipCommand:
      return ExecuteChipCommand(r);
    case LinkCommand::ProgramFlashBlock:
    case LinkCommand::ProgramEepBlock: {
      if (payload.size() != kSettingsHeaderLength + kDataBlockLength) return UnitStatus::Failed;
      r.header.assign(payload.begin(), payload.begin() + kSettingsHeaderLength);
      uint8_t status = 0;
      if (!AdoptGeometry(payload.first(kSettingsHeaderLength), status)) return status;
      if (chip_.readProtected()) return UnitStatus::ReadProtected;
      const auto data = payload.subspan(kSettingsHeaderLength);
      const uint32_t offset = uint32_t{r.argument} * 1024;
      if (r.command == LinkCommand::ProgramFlashBlock) {
        chip_.ProgramFlash(offset, data);
      } else {
        chip_.ProgramEep(offset, data);
      }
      return kStatusAck;
    }
    case LinkCommand::ReadFlashBlock:
    case LinkCommand::ReadEepBlock: {
      if (payload.size() != kSettingsHeaderLength) return UnitStatus::Failed;
      r.header.assign(payload.begin(), payload.end());
      uint8_t status = 0;
      if (!AdoptGeometry(payload, status)) return status;
      if (chip_.readProtected()) return UnitStatus::ReadProtected;
      std::array<uint8_t, kDataBlockLength> data{};
      const uint32_t offset = uint32_t{r.argument} * 1024;
      if (r.command == LinkCommand::ReadFlashBlock) {
        chip_.ReadFlash(offset, data);
      } else {
        chip_.ReadEep(offset, data);
      }
      SendData(r, data);
      return std::nullopt;
    }
    case LinkCommand::RestartUnit:
      if (!std::equal(kRestartUnitBytes.begin(), kRestartUnitBytes.end(), r.packet.begin() + 1)) {
        return UnitStatus::UnknownCommand;
      }
      // Marked so that a host listening for identification replies passes over it.
      SendStatus(r, kStatusAck, kIgnoredReplyMark);
      EnterStandalone();
      return std::nullopt;
    case LinkCommand::FirmwareBlock: {
      if (payload.size() != kFirmwarePayloadLength) return UnitStatus::Failed;
      const uint8_t indexByte = r.packet[1];
      size_t block = firmwareBlocks_;
      if (indexByte != static_cast<uint8_t>(block * 4)) {
        if (indexByte != 0) return UnitStatus::Failed;
        block = 0;  // the host started the upgrade over
      }
      if (block >= kMaxFirmwareBlocks) return UnitStatus::Failed;
      if (block == 0) firmware_.clear();
      firmware_.resize((block + 1) * kFirmwareImageBlockLength);
      UnscrambleFirmwareBlock(
          payload.first<kFirmwarePayloadLength>(), ReadLe16(r.packet, 2),
          std::span(firmware_).subspan(block * kFirmwareImageBlockLength).first<kFirmwareImageBlockLength>());
      firmwareBlocks_ = static_cast<uint32_t>(block + 1);
      r.extra["block"] = block;
      return kStatusAck;
    }
    case LinkCommand::FirmwareDone: {
      if (!std::equal(kFirmwareDoneBytes.begin(), kFirmwareDoneBytes.end(), r.packet.begin() + 1)) {
        return UnitStatus::UnknownCommand;
      }
      const bool upgraded = firmwareBlocks_ > 0;
      if (upgraded) {
        version_ = settings_.upgradeTo;
        if (model_ == kGenericModel) model_ = kHostModel;
      }
      firmwareBlocks_ = 0;
      SendStatus(r, upgraded ? kStatusAck : UnitStatus::Failed, kIgnoredReplyMark);
      return std::nullopt;
    }
    default:
      return UnitStatus::UnknownCommand;
  }
}

std::optional<uint8_t> SimulatedUnit::ExecuteChipCommand(Request& r) {
  const auto payload = r.payload;
  const uint16_t sub = r.argument;
  size_t expected = kSettingsHeaderLength;
  switch (sub) {
    case ChipSubCommand::Erase:
    case ChipSubCommand::BlankCheck:
    case ChipSubCommand::ReadChecksum:
    case ChipSubCommand::ReadOption:
    case ChipSubCommand::ReadChipInfo:
      break;
    case ChipSubCommand::WriteOption:
      expected = kOptionWritePayloadLength;
      break;
    case ChipSubCommand::ReadRange:
      expected = kReadRangePayloadLength;
      break;
    default:
      return UnitStatus::UnknownCommand;
  }
  if (payload.size() != expected) return UnitStatus::Failed;
  const auto header = payload.first(std::min(payload.size(), kSettingsHeaderLength));
  r.header.assign(header.begin(), header.end());
  uint8_t status = 0;
  if (!AdoptGeometry(header, status)) return status;

  switch (sub) {
    case ChipSubCommand::Erase:
      chip_.Erase();
      return kStatusAck;
    case ChipSubCommand::BlankCheck:
      if (chip_.readProtected()) return UnitStatus::ReadProtected;
      return chip_.IsBlank() ? kStatusOk : UnitStatus::NotBlank;
    case ChipSubCommand::ReadChecksum: {
      if (chip_.readProtected()) return UnitStatus::ReadProtected;
      std::vector<uint8_t> flash(chip_.geometry().flashBytes);
      chip_.ReadFlash(0, flash);
      const uint32_t last = flash.empty() ? 0 : static_cast<uint32_t>(flash.size() - 1);
      const uint16_t crc = flash.empty() ? 0 : LinkChecksum(flash, 0, last);
      const uint16_t sum = flash.empty() ? 0 : static_cast<uint16_t>(ImageSum(flash, 0, last));
      std::array<uint8_t, 4> data{};
      WriteLe16(data, 0, crc);
      WriteLe16(data, 2, sum);
      SendData(r, data);
      return std::nullopt;
    }
    case ChipSubCommand::ReadOption:
      SendData(r, chip_.option());
      return std::nullopt;
    case ChipSubCommand::WriteOption:
      if (chip_.readProtected()) return UnitStatus::ReadProtected;
      chip_.WriteOption(0, payload.subspan(kSettingsHeaderLength, kOptionWriteDataLength));
      return kStatusAck;
    case ChipSubCommand::ReadChipInfo: {
      std::array<uint8_t, kChipInfoLength> info{};
      const uint16_t id = ReadLe16(header, HeaderField::ChipId);
      info[0] = static_cast<uint8_t>(id >> 8);
      info[1] = static_cast<uint8_t>(id);
      info[2] = kRevision;
      std::copy(chip_.option().begin(), chip_.option().end(), info.begin() + 4);
      SendData(r, info);
      return std::nullopt;
    }
    case ChipSubCommand::ReadRange: {
      if (chip_.readProtected()) return UnitStatus::ReadProtected;
      const uint32_t start = ReadLe32(payload, 48);
      const uint16_t length = ReadLe16(payload, 52);
      r.extra["address"] = start;
      r.extra["length"] = length;
      if (length == 0 || length > kDataBlockLength) return UnitStatus::Failed;
      // At least three bytes, or the reply would read as a status reply.
      std::vector<uint8_t> data(std::max<size_t>(length, 3), chip_.geometry().blank);
      chip_.ReadAddress(start, std::span(data).first(length));
      SendData(r, data);
      return std::nullopt;
    }
  }
  return UnitStatus::UnknownCommand;
}

bool SimulatedUnit::AdoptGeometry(std::span<const uint8_t> header, uint8_t& status) {
  const ChipGeometry g = GeometryOf(header);
  if (g.flashBytes > kMaxChipFlashBytes) {
    status = UnitStatus::NoSuchChip;
    return false;
  }
  // The host describes the chip with every command; a different description is a different chip.
  if (!chip_.present() || !(chip_.geometry() == g)) InsertChip(g);
  return true;
}

void SimulatedUnit::InsertChip(const ChipGeometry& g) {
  ChipFaults f;
  f.readProtected = settings_.protectedChip;
  f.notBlank = settings_.notBlank;
  f.weakCellAddress = settings_.verifyCorruptAddress;
  chip_.Insert(g, f, static_cast<uint32_t>(settings_.number) * 100003u + ++chipsInserted_);
}

void SimulatedUnit::AnswerDiscovery() {
  const std::string text = identification();
  const size_t textLength = std::min<size_t>(text.size(), kPacketBufferSize - 40);
  auto& p = reply_;
  std::fill(p.begin(), p.begin() + 28, 0);
  std::copy(kDiscoverySignature.begin(), kDiscoverySignature.end(), p.begin());
  WriteLe16(p, 6, static_cast<uint16_t>(textLength));
  std::memcpy(p.data() + 28, text.data(), textLength);
  p[28 + textLength] = 0;
  const size_t length = 28 + textLength + 1;
  WriteLe16(p, length, LinkChecksum(p, 0, static_cast<uint32_t>(length - 1)));
  SendPacket(length + kCheckWordLength);
}

void SimulatedUnit::SendStatus(Request& r, uint8_t status, uint8_t mark) {
  const std::array<uint8_t, 2> payload = {status, 0};
  const size_t n = BuildPacket(reply_, mark ? mark : r.command, r.argument, r.settings, payload);
  r.reply = "status";
  r.status = status;
  SendPacket(n);
}

void SimulatedUnit::SendData(Request& r, std::span<const uint8_t> data) {
  const size_t n = BuildPacket(reply_, r.command, r.argument, r.settings, data);
  r.reply = "data";
  SendPacket(n);
}

void SimulatedUnit::SendPacket(size_t length) {
  if (settings_.badCheck) reply_[length - 2] ^= 0xFF;
  const size_t n = EncodeFrame(std::span<const uint8_t>(reply_.data(), length), frame_);
  line_.SendFrame(std::span<const uint8_t>(frame_.data(), n));
}

void SimulatedUnit::SendRecord(uint8_t stage, uint8_t code, uint16_t value, uint16_t value2) {
  std::array<uint8_t, 8> record = {kProgressRecordMark,
                                   stage,
                                   code,
                                   static_cast<uint8_t>(value),
                                   static_cast<uint8_t>(value >> 8),
                                   static_cast<uint8_t>(value2),
                                   static_cast<uint8_t>(value2 >> 8),
                                   0};
  uint8_t sum = 0;
  for (size_t i = 0; i < 7; ++i) sum = static_cast<uint8_t>(sum + record[i]);
  record[7] = static_cast<uint8_t>(-sum);
  const size_t n = EncodeFrame(record, frame_);
  line_.SendFrame(std::span<const uint8_t>(frame_.data(), n));
}

void SimulatedUnit::LogRequest(const Request& r) {
  if (!log_) return;
  nlohmann::json j;
  j["unit"] = settings_.number;
  j["request"] = requests_;
  if (r.discovery) {
    j["name"] = "Discovery";
    j["command"] = kDiscoverySignature[0];
  } else if (!r.decoded) {
    j["name"] = "Undecodable";
    j["command"] = nullptr;
  } else {
    const char* name = CommandName(r.command);
    j["name"] = name ? name : "Unknown";
    j["command"] = r.command;
    j["argument"] = r.argument;
    j["payloadLength"] = PacketPayloadLength(r.packet);
    j["checkGood"] = r.checkGood;
    j["header"] = r.header.empty() ? nlohmann::json(nullptr) : nlohmann::json(Hex(r.header));
  }
  j.update(r.extra);
  j["reply"] = r.reply ? nlohmann::json(r.reply) : nlohmann::json(nullptr);
  if (r.reply && std::strcmp(r.reply, "status") == 0) j["status"] = r.status;
  log_->Write(j.dump());
}

void SimulatedUnit::EnterStandalone() {
  standalone_ = true;
  sessionCycles_ = 0;
  nextInsertion_.reset();
  if (config_ && (*config_)[ConfigField::Header + HeaderField::AutoDetect] == kAutoDetectOn) {
    nextInsertion_ = now_ + std::chrono::milliseconds(settings_.insertEveryMs);
  }
}

void SimulatedUnit::Poll(SimClock::time_point now) {
  now_ = now;
  while (!dead() && nextInsertion_ && *nextInsertion_ <= now) {
    RunCycle();
    if (settings_.cycles != 0 && sessionCycles_ >= settings_.cycles) {
      nextInsertion_.reset();
      break;
    }
    // On the insertion grid, unless the unit fell behind it.
    const auto every = std::chrono::milliseconds(settings_.insertEveryMs);
    *nextInsertion_ += every;
    if (*nextInsertion_ <= now) *nextInsertion_ = now + every;
  }
}

void SimulatedUnit::RunCycle() {
  ++sessionCycles_;
  const std::span<const uint8_t> header(config_->data() + ConfigField::Header, kSettingsHeaderLength);
  const ChipGeometry g = GeometryOf(header);
  const bool limited = ((*config_)[ConfigField::Flags] & kCountLimited) != 0;
  if (limited && goodParts_ >= ReadLe32(*config_, ConfigField::MaxCount)) {
    // The configured number of parts is done; further chips are refused without being touched.
    SendRecord(Stage::Result, UnitStatus::Failed, 0, 0);
    return;
  }
  InsertChip(g);
  const uint8_t result = ProgramInsertedChip();
  SendRecord(Stage::Result, result, 0, 0);
  if (result == kStatusAck) {
    ++goodParts_;
    if ((*config_)[ConfigField::Flags] & kSerialEnabled)
      serial_ += ReadLe16(*config_, ConfigField::SerialStep);
  }
}

uint8_t SimulatedUnit::ProgramInsertedChip() {
  const auto& config = *config_;
  const std::span<const uint8_t> header(config.data() + ConfigField::Header, kSettingsHeaderLength);
  const ChipGeometry& g = chip_.geometry();
  const uint8_t mask = header[HeaderField::OperationMask];
  const auto injected = settings_.failCycles.find(sessionCycles_);
  const std::optional<uint8_t> failure =
      injected == settings_.failCycles.end() ? std::nullopt : std::optional<uint8_t>(injected->second);
  // An injected failure strikes at the step it belongs to: not blank at the blank check, a verify error
  // at the verification, anything else when the unit talks to the chip.
  const bool failsBlank = failure == UnitStatus::NotBlank;
  const bool failsVerify = failure == UnitStatus::VerifyFailed;

  SendRecord(Stage::Interface, kInterfaceReady, 0, 0);
  SendRecord(Stage::Interface, kChipIdRead, ReadLe16(header, HeaderField::ChipId),
             ReadLe16(header, HeaderField::ChipId2));
  if (failure && !failsBlank && !failsVerify) return *failure;

  bool erase = false;
  if (mask & Step::BlankCheck) {
    SendRecord(Stage::BlankCheck, 0, 0, 0);
    if (failsBlank) return *failure;
    const bool protectedChip = chip_.readProtected();
    if (protectedChip || !chip_.IsBlank()) {
      if (!protectedChip && (header[HeaderField::ControlFlags1] & kStopWhenNotBlank))
        return UnitStatus::NotBlank;
      if (!(mask & Step::Erase)) return protectedChip ? UnitStatus::ReadProtected : UnitStatus::NotBlank;
      erase = true;
    }
  } else if (mask & Step::Erase) {
    erase = true;
  }
  if (failsBlank) return *failure;
  if (erase) {
    SendRecord(Stage::Erase, 0, 0, 0);
    chip_.Erase();
  }

  // What goes into the chip: the stored image, with this part's serial number.
  std::vector<uint8_t> flash(g.flashBytes, g.blank);
  std::copy_n(storedFlash_.begin(), std::min(flash.size(), storedFlash_.size()), flash.begin());
  if (config[ConfigField::Flags] & kSerialEnabled) {
    const uint8_t length = config[ConfigField::SerialLength];
    const uint32_t address = ReadLe32(config, ConfigField::SerialAddress);
    const uint64_t offset = uint64_t{address} - g.flashStart;
    if (length < 1 || length > 4 || address < g.flashStart || offset + length > flash.size()) {
      return UnitStatus::SerialNumberFailed;
    }
    const bool bigEndian = config[ConfigField::Flags] & kSerialBigEndian;
    for (size_t k = 0; k < length; ++k) {
      flash[offset + (bigEndian ? length - 1 - k : k)] = static_cast<uint8_t>(serial_ >> (8 * k));
    }
  }
  std::vector<uint8_t> eep(g.eepBytes, g.blank);
  std::copy_n(storedEep_.begin(), std::min(eep.size(), storedEep_.size()), eep.begin());

  const bool doesProgram = (mask & (Step::ProgramFlash | Step::ProgramEep | Step::Option)) != 0;
  if (doesProgram && chip_.readProtected()) return UnitStatus::ReadProtected;
  const uint16_t flashKB = static_cast<uint16_t>(g.flashBytes / 1024);
  if (mask & Step::ProgramFlash) {
    for (uint32_t kb = 0; kb < flashKB; kb += 4) {
      SendRecord(Stage::ProgramFlash, 0, static_cast<uint16_t>(kb), flashKB);
      chip_.ProgramFlash(
          kb * 1024,
          std::span(flash).subspan(kb * 1024, std::min<size_t>(kDataBlockLength, flash.size() - kb * 1024)));
    }
  }
  const uint16_t eepKB = static_cast<uint16_t>((g.eepBytes + 1023) / 1024);
  if ((mask & Step::ProgramEep) && !eep.empty()) {
    for (uint32_t kb = 0; kb < eepKB; kb += 4) {
      SendRecord(Stage::ProgramEep, 0, static_cast<uint16_t>(kb), eepKB);
      chip_.ProgramEep(kb * 1024, std::span(eep).subspan(
                                      kb * 1024, std::min<size_t>(kDataBlockLength, eep.size() - kb * 1024)));
    }
  }
  if (mask & Step::VerifyFlash) {
    SendRecord(Stage::VerifyFlash, 0, 0, 0);
    if (failsVerify) return *failure;
    std::vector<uint8_t> read(flash.size());
    chip_.ReadFlash(0, read);
    if (read != flash) return UnitStatus::VerifyFailed;
  }
  if ((mask & Step::VerifyEep) && !eep.empty()) {
    SendRecord(Stage::VerifyEep, 0, 0, 0);
    std::vector<uint8_t> read(eep.size());
    chip_.ReadEep(0, read);
    if (read != eep) return UnitStatus::VerifyFailed;
  }
  if (failsVerify) return *failure;
  if (mask & Step::Option) {
    SendRecord(Stage::Option, 0, 0, 0);
    chip_.WriteOption(0, std::span(config).subspan(ConfigField::OptionLow, 128));
    chip_.WriteOption(128, std::span(config).subspan(ConfigField::OptionHigh, 204));
  }
  return kStatusAck;
}

}  // namespace tarvel::unitsim
