// Settings headers, configuration blocks and simulator start-up for the simulator's tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HostLink.h"
#include "link/LinkPacket.h"
#include "support/TestFiles.h"
#include "unitsim/UnitSimulator.h"

namespace tarvel::test {

// The chip and the programming options a settings header describes.
struct ChipSpec {
  uint16_t flashKB = 16;
  uint16_t eepSize = 1024;
  uint32_t flashStart = 0x08000000;
  uint32_t eepStart = 0x08800000;
  bool blankZero = false;
  bool stopWhenNotBlank = false;
  uint8_t mask = 0x17;
  bool autoDetect = false;
  uint16_t chipId = 0x1234;
  uint16_t chipId2 = 0x5678;
};

inline std::array<uint8_t, kSettingsHeaderLength> Header(const ChipSpec& c) {
  std::array<uint8_t, kSettingsHeaderLength> h{};
  h[3] = 0x53;
  h[7] = c.autoDetect ? 15 : 0;
  WriteLe16(h, 16, c.flashKB);
  WriteLe16(h, 20, c.eepSize);
  WriteLe32(h, 24, c.flashStart);
  WriteLe32(h, 28, c.eepStart);
  h[33] = static_cast<uint8_t>((c.blankZero ? 0x10 : 0) | (c.stopWhenNotBlank ? 0x08 : 0));
  h[35] = c.mask;
  WriteLe16(h, 46, c.chipId2);
  WriteLe16(h, 66, c.chipId);
  return h;
}

struct SerialSpec {
  bool enabled = false;
  bool bigEndian = true;
  uint32_t first = 0;
  uint16_t step = 1;
  uint32_t address = 0;
  bool countLimited = false;
  uint32_t maxCount = 0;
};

// Option data bytes 0..331 as a download carries them: byte i is 0x40 + i.
inline uint8_t ConfigOptionByte(size_t i) {
  return static_cast<uint8_t>(0x40 + i);
}

inline std::array<uint8_t, kConfigBlockLength> ConfigBlock(const ChipSpec& c, const SerialSpec& sn = {}) {
  std::array<uint8_t, kConfigBlockLength> b{};
  std::copy(kConfigMarker.begin(), kConfigMarker.end(), b.begin());
  const auto h = Header(c);
  std::copy(h.begin(), h.end(), b.begin() + 4);
  b[84] = static_cast<uint8_t>((sn.enabled ? 0x01 : 0) | (sn.bigEndian ? 0x04 : 0) |
                               (sn.countLimited ? 0x40 : 0));
  b[85] = 4;
  WriteLe32(b, 86, sn.maxCount);
  WriteLe16(b, 90, sn.step);
  WriteLe32(b, 92, sn.address);
  WriteLe32(b, 96, sn.first);
  for (size_t i = 0; i < 128; ++i) b[112 + i] = ConfigOptionByte(i);
  std::copy_n("CHIP-A", 6, b.begin() + 240);
  for (size_t i = 0; i < 204; ++i) b[304 + i] = ConfigOptionByte(128 + i);
  SealConfigBlock(b);
  return b;
}

// A recognisable 4 KiB block for position `kb`.
inline std::array<uint8_t, kDataBlockLength> DataBlockAt(uint16_t kb, uint8_t salt = 0) {
  std::array<uint8_t, kDataBlockLength> d{};
  for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>((i * 7 + kb * 13 + salt) ^ (i >> 9));
  return d;
}

inline std::unique_ptr<unitsim::UnitSimulator> StartSim(const testing::TempDir& dir, int units,
                                                        std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"--units", std::to_string(units), "--dir", dir.path().string()};
  args.insert(args.end(), extra.begin(), extra.end());
  return std::make_unique<unitsim::UnitSimulator>(unitsim::ParseSimArguments(args));
}

struct Record {
  uint8_t stage, code;
  uint16_t value, value2;
};

// The unit's next frame as a progress record; a frame that is none fails the test.
inline Record NextRecord(HostLink& host) {
  const Bytes r = host.Next();
  if (r.size() != 8 || r[0] != kProgressRecordMark) {
    ADD_FAILURE() << "not a progress record";
    return {0, 0, 0, 0};
  }
  uint8_t sum = 0;
  for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
  EXPECT_EQ(sum, 0) << "record sum";
  return {r[1], r[2], ReadLe16(r, 3), ReadLe16(r, 5)};
}

}  // namespace tarvel::test
