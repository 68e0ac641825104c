// A programmer unit played by a test on a FakeSerialPort: it reads the frames the host sent and answers
// with status replies, data replies, identification replies or progress records.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/ManualEventLoop.h"
#include "image/Checksums.h"
#include "link/DeviceDiscovery.h"
#include "link/LinkPacket.h"
#include "link/FrameLayer.h"
#include "link/SerialPort.h"

namespace tarvel::testing {

struct SentPacket {
  bool discovery = false;  // the fixed discovery request
  uint8_t command = 0;
  uint16_t argument = 0;
  std::vector<uint8_t> payload;
  bool checkOk = false;
};

class FakeUnit {
 public:
  FakeUnit(FakeSerialPort& port, ManualEventLoop& loop) : port_(port), loop_(loop) {}

  // Everything the host sent since the last call, decoded.
  std::vector<SentPacket> take() {
    std::vector<SentPacket> out;
    for (const auto& bytes : port_.takeSent()) {
      SentPacket p;
      if (std::equal(bytes.begin(), bytes.end(), kDiscoveryRequest.begin(), kDiscoveryRequest.end())) {
        p.discovery = true;
        out.push_back(p);
        continue;
      }
      std::vector<uint8_t> packet(8192);
      const DecodedFrame d = DecodeFrame(bytes, packet);
      if (d.status != kFrameGood || d.length < 10) continue;
      packet.resize(d.length);
      p.command = packet[0];
      p.argument = static_cast<uint16_t>(packet[1] | packet[2] << 8);
      const size_t n = static_cast<size_t>(packet[6] | packet[7] << 8);
      p.payload.assign(packet.begin() + 8, packet.begin() + 8 + static_cast<std::ptrdiff_t>(std::min(n, d.length - 10)));
      const uint16_t check = static_cast<uint16_t>(packet[d.length - 2] | packet[d.length - 1] << 8);
      p.checkOk = ImageCrc16(packet, 0, static_cast<uint32_t>(d.length - 3)) == check;
      out.push_back(std::move(p));
    }
    return out;
  }

  void sendPacket(std::vector<uint8_t> packet, bool goodCheck = true) {
    const uint16_t check = ImageCrc16(packet, 0, static_cast<uint32_t>(packet.size() - 1));
    packet.push_back(static_cast<uint8_t>(check + (goodCheck ? 0 : 1)));
    packet.push_back(static_cast<uint8_t>(check >> 8));
    std::vector<uint8_t> frame(packet.size() * 2 + 8);
    frame.resize(EncodeFrame(packet, frame));
    feed(frame);
  }
  void status(uint8_t command, uint8_t code, bool goodCheck = true) {
    sendPacket({command, 0, 0, 0x53, 0, 0, 1, 0, code}, goodCheck);
  }
  void data(uint8_t command, std::span<const uint8_t> bytes) {
    std::vector<uint8_t> p = {command, 0, 0, 0x53, 0, 0, static_cast<uint8_t>(bytes.size()),
                              static_cast<uint8_t>(bytes.size() >> 8)};
    p.insert(p.end(), bytes.begin(), bytes.end());
    sendPacket(std::move(p));
  }
  void identify(const std::string& text) {
    std::vector<uint8_t> p(28, 0);
    p[0] = 0xA3, p[1] = 0xA5, p[2] = 0x35;
    p[6] = static_cast<uint8_t>(text.size());
    p.insert(p.end(), text.begin(), text.end());
    p.push_back(0);
    sendPacket(std::move(p));
  }
  void progress(uint8_t stage, uint8_t sub, uint16_t value, uint16_t second) {
    std::vector<uint8_t> r = {0xFD, stage, sub, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(second), static_cast<uint8_t>(second >> 8), 0};
    uint8_t sum = 0;
    for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
    r[7] = static_cast<uint8_t>(-sum);
    sendPacket(std::move(r));
  }
  void feed(std::span<const uint8_t> bytes) {
    port_.feed(bytes);
    loop_.runPending();
  }

  // Answers every packet with what `reply` does, until the host sends nothing more.
  void serve(const std::function<void(FakeUnit&, const SentPacket&)>& reply, int maxRounds = 10000) {
    for (int round = 0; round < maxRounds; ++round) {
      const auto packets = take();
      if (packets.empty()) return;
      for (const SentPacket& p : packets) reply(*this, p);
    }
  }
  // Every packet the unit has answered through serve().
  FakeSerialPort& port() { return port_; }

 private:
  FakeSerialPort& port_;
  ManualEventLoop& loop_;
};

}  // namespace tarvel::testing
