// The units' answers while the host searches for them: identification replies, and the progress records
// of units that program on their own (which arrive whether a unit was found or not). Header: mode u8.
//   mode 0: firmware version (length u8, text) and model u8, then one reply for IdentifyUnit;
//   mode 1: a device search over 1..10 fake units (count u8, firmware version length u8 and text), then
//           packets, each unit u8, kind u8 and length u8: an identification reply around the bytes, a
//           progress record (its sum made good unless the kind says otherwise), or the bytes as a packet.
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/InfoLog.h"
#include "base/ManualEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "chips/ChipSettings.h"
#include "link/DeviceDiscovery.h"
#include "link/LinkPacket.h"
#include "ops/UnitOperations.h"

using namespace tarvel;
using namespace tarvel::fuzz;

namespace {

std::string Text(std::span<const uint8_t> b) { return std::string(b.begin(), b.end()); }

void Identify(Input& in) {
  const std::string firmware = Text(in.bytes(in.u8() % 12));
  const uint8_t model = in.u8() % 3;
  const char* const other = "Tarvel200";
  const std::string_view modelName = model == 0 ? kHostModelName : model == 1 ? kGenericModelName : other;
  const std::span<const uint8_t> reply = in.rest();
  const IdentifyResult r = IdentifyUnit(reply, modelName, firmware);
  if (r.result == Identification::NoMatch) {
    Check(r.text.empty() && r.version.empty(), "a reply that does not match left a text or version");
    return;
  }
  Check(reply.size() >= 28 + modelName.size(), "a match on a reply too short for the model name");
  Check(r.text.compare(0, modelName.size(), modelName) == 0, "a match whose text does not start with the model");
  Check(r.text.size() <= reply.size() - 28, "a text longer than the reply holds");
  for (char c : r.text) Check(c >= 0x20 && static_cast<unsigned char>(c) < 0x80, "a control or 8-bit byte in a text");
  Check(r.version.size() <= 8 && (r.version.empty() || r.version[0] == 'V'), "a version token that is not one");
  if (r.result == Identification::Older)
    Check(modelName == kHostModelName && !firmware.empty(), "older than nothing, or older on another model");
}

void Search(Input& in) {
  ManualEventLoop loop;
  InfoLog log([] { return std::string("00:00:00"); });
  ScriptedDialogService dialogs;
  RandomSource random(1);
  ChipSettings chip = StartupChipSettings();
  static MemoryImage* image = new MemoryImage();
  UnitOperations ops(loop, log, dialogs, chip, *image, random,
                     [](EventLoop& l) { return std::make_unique<FakeSerialPort>(l); });
  const int units = in.u8() % kChannelCount + 1;
  ops.unitCount = units;
  ops.firmwareVersion = Text(in.bytes(in.u8() % 10));
  std::vector<std::string> ports;
  for (int i = 0; i < units; ++i) ports.push_back("/dev/fake" + std::to_string(i));
  ops.searchPorts = [&ports] { return ports; };
  int upgradesAsked = 0;
  ops.onFirmwareUpgradeNeeded = [&](int) { ++upgradesAsked; };
  ops.SearchDevices();
  loop.advance(std::chrono::milliseconds(100 + 100 * units));

  while (!in.empty()) {
    const int ch = in.u8() % units;
    const uint8_t kind = in.u8();
    const std::span<const uint8_t> bytes = in.bytes(in.u8());
    std::vector<uint8_t> packet;
    switch (kind % 4) {
      case 0:  // identification: the signature, the text length, the text from 28
        packet.assign(28, 0);
        packet[0] = 0xA3, packet[1] = 0xA5, packet[2] = 0x35;
        packet[6] = static_cast<uint8_t>(kind & 0x80 ? bytes.size() + 40 : bytes.size());  // may claim more
        packet.insert(packet.end(), bytes.begin(), bytes.end());
        packet.push_back(0);
        break;
      case 1: {  // progress record
        packet = {kProgressRecordMark, 0, 0, 0, 0, 0, 0, 0};
        std::copy_n(bytes.begin(), std::min<size_t>(7, bytes.size()), packet.begin() + 1);
        uint8_t sum = 0;
        for (size_t i = 0; i < 7; ++i) sum = static_cast<uint8_t>(sum + packet[i]);
        packet[7] = kind & 0x80 ? packet[7] : static_cast<uint8_t>(-sum);
        break;
      }
      case 2: packet = {kIgnoredReplyMark, 0, 0, 0, 0, 0, 0, 0}; break;
      default: packet.assign(bytes.begin(), bytes.end()); break;
    }
    std::vector<uint8_t> frame(2 * packet.size() + 8);
    frame.resize(EncodeFrame(packet, frame));
    static_cast<FakeSerialPort&>(*ops.channel(ch).port).feed(frame);
    loop.runPending();
    static_cast<FakeSerialPort&>(*ops.channel(ch).port).takeSent();

    int connected = 0;
    for (int i = 0; i < kChannelCount; ++i) connected += ops.channel(i).connected;
    Check(connected <= units, "a unit connected that was never searched");
    Check(ops.foundCount >= connected && ops.foundCount <= units, "the found count does not match the units found");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  if (in.u8() % 2 == 0)
    Identify(in);
  else
    Search(in);
  return 0;
}
