// The replies of the units in every state a channel can be in: an operation is started on fake units (the
// way the window starts it), then the input plays the units, record by record, with anything from raw
// bytes to well-formed replies, progress records, identification replies, line errors, hang-ups and the
// passing of time.
//
// Header: chip u16, operation u8, settings flags u8, units u8, serial number u32, serial address u32,
// gain u8, read range start u32 and length u16. Then records, each an opcode u8 (low four bits: what,
// high four: which unit) and its operands.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "FuzzChips.h"
#include "FuzzSupport.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/InfoLog.h"
#include "base/ManualEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "image/Checksums.h"
#include "link/LinkPacket.h"
#include "ops/Commands.h"
#include "ops/UnitOperations.h"

using namespace tarvel;
using namespace tarvel::fuzz;

namespace {

enum class Start : uint8_t {
  Download, AutoProgram, BlankCheck, Erase, Program, Verify, WriteOption, WriteEep,
  ReadFlash, ReadEep, ReadOption, ReadChecksum, ReadChipInfo, ReadRange,
  FirmwareUpgrade, Discovery, Offline, Idle,
  Count
};

enum Op : uint8_t {
  kRawBytes,      // length u8, bytes: straight onto the wire
  kPacket,        // length u16, bytes: sealed with a good check word and framed
  kStatusReply,   // status u8: the reply to the unit's last request
  kDataReply,     // length u16, first byte u8: a data reply to the last request
  kTicks,         // count u8: that many 10 ms ticks
  kLineError,     // mask u8
  kHangup,
  kProgress,      // stage u8, sub u8, value u16, second u16: a progress record with a good sum
  kIdentify,      // length u8, text: an identification reply
  kServe,         // rounds u8: the unit answers every request as a good unit would
  kBadCheck,      // status u8: a status reply with a wrong check word
  kOpCount
};

const FirmwareFileResult& Firmware() {
  static const FirmwareFileResult firmware = [] {
    RandomSource random(7);
    std::vector<uint8_t> raw(3 * 1536 + 100);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 7);
    return ParseFirmwareFile(BuildFirmwareFile(raw, "V2.00", random));
  }();
  return firmware;
}

// Bytes 0..7 of the packet in a frame the host sent (command, argument, settings bytes, length): all a
// unit needs to answer it. Empty for the discovery request, whose content is shorter.
std::vector<uint8_t> RequestHead(std::span<const uint8_t> frame) {
  std::vector<uint8_t> head;
  bool escaped = false;
  for (size_t i = 1; i < frame.size() && frame[i] != kSlipEnd && head.size() < kPacketHeaderLength; ++i) {
    if (escaped) {
      head.push_back(frame[i] == kSlipEscEnd ? kSlipEnd : kSlipEsc);
      escaped = false;
    } else if (frame[i] == kSlipEsc) {
      escaped = true;
    } else {
      head.push_back(frame[i]);
    }
  }
  if (head.size() < kPacketHeaderLength) head.clear();
  return head;
}

struct Units {
  ManualEventLoop loop;
  InfoLog log{[] { return std::string("00:00:00"); }};
  ScriptedDialogService dialogs;
  RandomSource random{1};
  ChipSettings chip;
  MemoryImage& image;
  UnitOperations ops;
  std::array<std::vector<uint8_t>, kChannelCount> lastRequest;  // decoded, per unit
  std::vector<std::pair<int, std::vector<uint8_t>>> pending;     // requests not answered by serve() yet

  Units(const ChipSettings& c, MemoryImage& i)
      : chip(c), image(i),
        ops(loop, log, dialogs, chip, image, random,
            [](EventLoop& l) { return std::make_unique<FakeSerialPort>(l); }) {}

  FakeSerialPort& port(int ch) { return static_cast<FakeSerialPort&>(*ops.channel(ch).port); }

  void feed(int ch, std::span<const uint8_t> bytes) {
    port(ch).feed(bytes);
    loop.runPending();
  }
  void sendPacket(int ch, std::vector<uint8_t> packet, bool goodCheck = true) {
    const uint16_t check = LinkChecksum(packet, 0, static_cast<uint32_t>(packet.size() - 1));
    packet.push_back(static_cast<uint8_t>(check + (goodCheck ? 0 : 1)));
    packet.push_back(static_cast<uint8_t>(check >> 8));
    std::vector<uint8_t> frame(packet.size() * 2 + 8);
    frame.resize(EncodeFrame(packet, frame));
    feed(ch, frame);
  }
  // Bytes 0..5 of the request being answered, as units echo them.
  std::vector<uint8_t> echo(int ch) const {
    const auto& r = lastRequest[static_cast<size_t>(ch)];
    std::vector<uint8_t> p(8, 0);
    for (size_t i = 0; i < 6 && i < r.size(); ++i) p[i] = r[i];
    return p;
  }
  void status(int ch, uint8_t code, bool goodCheck = true) {
    std::vector<uint8_t> p = echo(ch);
    p[6] = 2;
    p.push_back(code);
    p.push_back(0);
    sendPacket(ch, std::move(p), goodCheck);
  }
  void dataReply(int ch, std::span<const uint8_t> bytes) {
    std::vector<uint8_t> p = echo(ch);
    p[6] = static_cast<uint8_t>(bytes.size());
    p[7] = static_cast<uint8_t>(bytes.size() >> 8);
    p.insert(p.end(), bytes.begin(), bytes.end());
    sendPacket(ch, std::move(p));
  }

  // Takes what the host sent on each unit.
  void collect() {
    for (int ch = 0; ch < kChannelCount; ++ch) {
      for (const auto& bytes : port(ch).takeSent()) {
        Check(bytes.size() <= kTxBufferSize, "the host sent a frame longer than its transmit buffer");
        std::vector<uint8_t> packet = RequestHead(bytes);
        if (packet.empty()) continue;  // the discovery request is no link packet
        lastRequest[static_cast<size_t>(ch)] = packet;
        if (pending.size() == 64) pending.erase(pending.begin());
        pending.emplace_back(ch, std::move(packet));
      }
    }
  }

  // A good unit: every request succeeds, reads return the image (what a good chip holds).
  void serve(int rounds) {
    for (int r = 0; r < rounds; ++r) {
      collect();
      if (pending.empty()) return;
      const auto requests = std::exchange(pending, {});
      for (const auto& [ch, p] : requests) {
        const uint8_t command = p[0];
        if (command == LinkCommand::ReadFlashBlock || command == LinkCommand::ReadEepBlock) {
          const std::span<const uint8_t> source = command == LinkCommand::ReadFlashBlock
                                                      ? std::span<const uint8_t>(image.FlashImage)
                                                      : std::span<const uint8_t>(image.EepImage);
          const uint64_t offset = uint64_t{PacketArgument(p)} * 1024;
          std::vector<uint8_t> block(kDataBlockLength, 0xFF);
          for (size_t i = 0; i < block.size() && offset + i < source.size(); ++i) block[i] = source[offset + i];
          dataReply(ch, block);
        } else if (command == LinkCommand::ChipCommand && PacketArgument(p) != ChipSubCommand::Erase &&
                   PacketArgument(p) != ChipSubCommand::BlankCheck && PacketArgument(p) != ChipSubCommand::WriteOption) {
          std::array<uint8_t, 512> info{};
          for (size_t i = 0; i < info.size(); ++i) info[i] = static_cast<uint8_t>(i);
          dataReply(ch, info);
        } else {
          status(ch, command == LinkCommand::ChipCommand && PacketArgument(p) == ChipSubCommand::BlankCheck ? 0 : 6);
        }
      }
    }
  }

  void checkChannels() {
    for (int ch = 0; ch < kChannelCount; ++ch) {
      const ProgrammerChannel& c = ops.channel(ch);
      // Transfers step four KiB at a time and stop at the end; a firmware upgrade one block at a time.
      Check(c.position <= c.endPosition + 3u, "a transfer went past its end");
      if (!c.busy) Check(!c.upgrading || c.state == OperationState::FirmwareUpgrade || c.state == OperationState::Idle,
                         "an upgrading unit in another operation");
    }
  }
};

WindowSettings SettingsFrom(uint8_t flags, uint32_t serial, uint32_t address, uint8_t gain) {
  WindowSettings w;
  w.eepEnabled = flags & 0x01;
  w.optionEnabled = flags & 0x02;
  w.serialEnabled = flags & 0x04;
  w.hostSerial = flags & 0x08;
  w.bigEndian = flags & 0x10;
  w.countLimited = flags & 0x20;
  w.blankError = flags & 0x40;
  w.autoDetect = flags & 0x80;
  w.maxCount = serial % 1000;
  w.serialText = Format("0x%0.8x", serial);
  w.gainText = Format("0x%0.2x", gain);
  w.addressText = Format("0x%0.8x", address);
  return w;
}

void StartOperation(Units& u, Start start, const FanOutContext& context, uint32_t rangeStart, uint16_t rangeLength) {
  UnitOperations& ops = u.ops;
  switch (start) {
    case Start::Download: ops.FanOut(UnitCommand::Download, context); break;
    case Start::AutoProgram: ops.FanOut(UnitCommand::AutoProgram, context); break;
    case Start::BlankCheck: ops.FanOut(UnitCommand::BlankCheck, context); break;
    case Start::Erase: ops.FanOut(UnitCommand::Erase, context); break;
    case Start::Program: ops.FanOut(UnitCommand::Program, context); break;
    case Start::Verify: ops.FanOut(UnitCommand::Verify, context); break;
    case Start::WriteOption: ops.FanOut(UnitCommand::WriteOption, context); break;
    case Start::WriteEep: ops.FanOut(UnitCommand::WriteEep, context); break;
    case Start::ReadFlash: ops.StartRead(ChipRead::MainMemory, context); break;
    case Start::ReadEep: ops.StartRead(ChipRead::EepMemory, context); break;
    case Start::ReadOption: ops.StartRead(ChipRead::OptionSetting, context); break;
    case Start::ReadChecksum: ops.StartRead(ChipRead::CheckSum, context); break;
    case Start::ReadChipInfo: ops.StartRead(ChipRead::ChipInformation, context); break;
    case Start::ReadRange: ops.StartRead(ChipRead::SpecificAddress, context, rangeStart, rangeLength); break;
    case Start::FirmwareUpgrade:
      ops.firmware = Firmware();
      for (int i = 0; i < ops.unitCount; ++i) ops.StartFirmwareUpgrade(i);
      break;
    case Start::Discovery:
      for (int i = 0; i < kChannelCount; ++i) ops.channel(i).port->ClosePort();
      ops.SearchDevices();
      u.loop.advance(std::chrono::milliseconds(100 + 100 * ops.unitCount));
      break;
    case Start::Offline: ops.StartOffline(); break;
    case Start::Idle:
    case Start::Count: break;
  }
  u.loop.runPending();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryImage* image = [] {
    auto* m = new MemoryImage();
    for (size_t i = 0; i < m->FlashImage.size(); ++i) m->FlashImage[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    for (size_t i = 0; i < m->EepImage.size(); ++i) m->EepImage[i] = static_cast<uint8_t>(i * 17);
    return m;
  }();
  Input in(data, size);
  const CatalogueChip& chip = ChipFor(in.u16());
  const Start start = static_cast<Start>(in.u8() % static_cast<uint8_t>(Start::Count));
  const uint8_t flags = in.u8();
  const int units = in.u8() % kChannelCount + 1;
  const uint32_t serial = in.u32();
  const uint32_t serialAddress = chip.settings.FlashStart + in.u32() % (uint32_t{chip.settings.FlashSizeKB} * 1024 + 16);
  const uint8_t gain = in.u8();
  const uint32_t rangeStart = in.u32();
  const uint16_t rangeLength = in.u16();

  // The flash image holds the same bytes for every input (the serial number may change a few of them).
  image->OptionData = chip.optionData;
  Units u(chip.settings, *image);
  u.chip.ChipSelected = true;
  u.ops.unitCount = units;
  std::vector<std::string> ports;
  for (int i = 0; i < units; ++i) ports.push_back("/dev/fake" + std::to_string(i));
  u.ops.searchPorts = [ports] { return ports; };
  for (int i = 0; i < units; ++i) {
    u.ops.channel(i).port->setCommName(ports[static_cast<size_t>(i)]);
    u.ops.channel(i).port->OpenPort();
    u.ops.channel(i).connected = true;
  }
  FanOutContext context;
  context.chipSelected = true;
  context.fileLoaded = true;
  context.objectFileName = "fuzz.hex";
  context.window = SettingsFrom(flags, serial, serialAddress, gain);
  try {
    StartOperation(u, start, context, rangeStart, rangeLength);
  } catch (const ConversionError&) {
    return 0;
  }
  u.collect();
  u.checkChannels();

  while (!in.empty()) {
    const uint8_t opcode = in.u8();
    const int ch = (opcode >> 4) % units;
    switch (static_cast<Op>((opcode & 0x0F) % kOpCount)) {
      case kRawBytes: u.feed(ch, in.bytes(in.u8())); break;
      case kPacket: {
        const std::span<const uint8_t> b = in.bytes(in.u16() % 4200);
        if (!b.empty()) u.sendPacket(ch, std::vector<uint8_t>(b.begin(), b.end()));
        break;
      }
      case kStatusReply: u.status(ch, in.u8()); break;
      case kDataReply: {
        std::vector<uint8_t> bytes(in.u16() % 4200);
        const uint8_t first = in.u8();
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(first + i);
        u.dataReply(ch, bytes);
        break;
      }
      case kTicks: u.loop.advance(std::chrono::milliseconds(10 * (in.u8() + 1))); break;
      case kLineError:
        u.port(ch).raiseLineError(in.u8());
        u.loop.runPending();
        break;
      case kHangup:
        u.port(ch).requestHangup();
        u.loop.runPending();
        break;
      case kProgress: {
        std::vector<uint8_t> r = {kProgressRecordMark, in.u8(), in.u8(), in.u8(), in.u8(), in.u8(), in.u8(), 0};
        uint8_t sum = 0;
        for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
        r[7] = static_cast<uint8_t>(-sum);
        u.sendPacket(ch, std::move(r));
        break;
      }
      case kIdentify: {
        const std::span<const uint8_t> text = in.bytes(in.u8());
        std::vector<uint8_t> p(28, 0);
        p[0] = 0xA3, p[1] = 0xA5, p[2] = 0x35;
        p[6] = static_cast<uint8_t>(text.size());
        p.insert(p.end(), text.begin(), text.end());
        p.push_back(0);
        u.sendPacket(ch, std::move(p));
        break;
      }
      case kServe: u.serve(in.u8() % 64 + 1); break;
      case kBadCheck: u.status(ch, in.u8(), false); break;
      case kOpCount: break;
    }
    u.collect();
    u.checkChannels();
  }
  return 0;
}
