#include "link/LinkPacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace tarvel {
namespace {

using Bytes = std::vector<uint8_t>;

struct Buffer {
  std::array<uint8_t, kPacketBufferSize> bytes{};
  size_t length = 0;
  Bytes packet() const { return Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length)); }
};

std::array<uint8_t, kSettingsHeaderLength> TestHeader() {
  std::array<uint8_t, kSettingsHeaderLength> h{};
  for (size_t i = 0; i < h.size(); ++i) h[i] = static_cast<uint8_t>(0x30 + i);
  return h;
}

std::array<uint8_t, kDataBlockLength> TestBlock() {
  std::array<uint8_t, kDataBlockLength> b{};
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return b;
}

bool CheckWordRight(const Bytes& p) {
  return ReadLe16(p, p.size() - 2) == LinkChecksum(p, 0, static_cast<uint32_t>(p.size() - 3));
}

TEST(LinkPacket, RestartUnitAndItsFrameByteForByte) {
  Buffer b;
  b.length = BuildRestartUnit(b.bytes);
  EXPECT_EQ(b.packet(), (Bytes{0x8A, 0x52, 0x45, 0x53, 0x54, 0xA8, 0x02, 0x00, 0x00, 0x00, 0xCD, 0x02}));

  std::array<uint8_t, 64> frame{};
  const size_t n = EncodeFrame(b.packet(), frame);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(n)),
            (Bytes{0xC0, 0x8A, 0x52, 0x45, 0x53, 0x54, 0xA8, 0x02, 0x00, 0x00, 0x00, 0xCD, 0x02, 0xC0, 0xFF,
                   0xFF, 0xFF, 0xFF, 0xFF}));

  b.length = BuildFirmwareDone(b.bytes);
  const Bytes done = b.packet();
  EXPECT_EQ(Bytes(done.begin(), done.begin() + 10),
            (Bytes{0xBD, 0x00, 0x52, 0x53, 0x00, 0x00, 0x02, 0x00, 0, 0}));
  EXPECT_TRUE(CheckWordRight(done));
}

TEST(LinkPacket, ChecksumIsTheImageCheck) {
  const Bytes abc = {'a', 'b', 'c'};
  EXPECT_EQ(LinkChecksum(abc, 0, 2), 0x2543);
  EXPECT_EQ(LinkChecksum(abc, 1, 0), 0);
}

TEST(LinkPacket, EveryCommandHasItsEnvelope) {
  const auto header = TestHeader();
  const auto block = TestBlock();
  const LinkSettingsBytes s{0x53, 0x07, 0x21};
  std::array<uint8_t, kConfigBlockLength> config{};
  std::array<uint8_t, kOptionWriteDataLength> option{};
  option.fill(0x5A);
  std::array<uint8_t, kFirmwareImageBlockLength> firmware{};

  struct Case {
    const char* name;
    std::function<size_t(PacketSpan, RandomSource&)> build;
    uint8_t command;
    size_t payload;
    Bytes headerStart;  // what the payload starts with, when known
  };
  const Bytes h(header.begin(), header.end());
  const Bytes h64(header.begin(), header.begin() + 48);
  const Bytes hb = [&] {
    Bytes v = h;
    v.insert(v.end(), block.begin(), block.end());
    return v;
  }();
  const Case cases[] = {
      {"DownloadConfig",
       [&](PacketSpan o, RandomSource& r) { return BuildDownloadConfig(o, s, config, r); },
       0x53,
       1024,
       {}},
      {"DownloadFlashBlock",
       [&](PacketSpan o, RandomSource&) { return BuildDownloadFlashBlock(o, s, 8, block); }, 0x55, 4096,
       Bytes(block.begin(), block.end())},
      {"DownloadEepBlock", [&](PacketSpan o, RandomSource&) { return BuildDownloadEepBlock(o, s, 8, block); },
       0x5A, 4096, Bytes(block.begin(), block.end())},
      {"Erase",
       [&](PacketSpan o, RandomSource&) { return BuildChipCommand(o, s, ChipSubCommand::Erase, header); },
       0x93, 80, h},
      {"WriteOption", [&](PacketSpan o, RandomSource&) { return BuildWriteOption(o, s, header, option); },
       0x93, 1104, h},
      {"ReadRange", [&](PacketSpan o, RandomSource&) { return BuildReadRange(o, s, header, 0x1000, 64); },
       0x93, 64, h64},
      {"ProgramFlashBlock",
       [&](PacketSpan o, RandomSource&) { return BuildProgramFlashBlock(o, s, 8, header, block); }, 0x95,
       4176, hb},
      {"ProgramEepBlock",
       [&](PacketSpan o, RandomSource&) { return BuildProgramEepBlock(o, s, 8, header, block); }, 0x99, 4176,
       hb},
      {"ReadFlashBlock", [&](PacketSpan o, RandomSource&) { return BuildReadFlashBlock(o, s, 8, header); },
       0x9B, 80, h},
      {"ReadEepBlock", [&](PacketSpan o, RandomSource&) { return BuildReadEepBlock(o, s, 8, header); }, 0x9D,
       80, h},
      {"FirmwareBlock",
       [&](PacketSpan o, RandomSource& r) { return BuildFirmwareBlock(o, 3, firmware, r); },
       0xB7,
       4128,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Built twice over different leftovers of the last reply: every byte must be written.
    auto buffer = std::make_unique<Buffer>(), other = std::make_unique<Buffer>();
    other->bytes.fill(0xFF);
    RandomSource random(7), sameRandom(7);
    buffer->length = c.build(buffer->bytes, random);
    other->length = c.build(other->bytes, sameRandom);
    const Bytes p = buffer->packet();
    EXPECT_EQ(p, other->packet());
    ASSERT_EQ(p.size(), c.payload + 10);
    EXPECT_EQ(p[0], c.command);
    EXPECT_EQ(PacketPayloadLength(p), c.payload);
    EXPECT_TRUE(CheckWordRight(p));
    EXPECT_TRUE(std::equal(c.headerStart.begin(), c.headerStart.end(), p.begin() + 8));
    if (c.command != LinkCommand::FirmwareBlock) {
      EXPECT_EQ(p[3], 0x53);
      EXPECT_EQ(p[4], 0x07);
      EXPECT_EQ(p[5], 0x21);
    }
    if (c.command == LinkCommand::DownloadFlashBlock || c.command == LinkCommand::ProgramFlashBlock ||
        c.command == LinkCommand::ReadEepBlock) {
      EXPECT_EQ(PacketArgument(p), 8);
    }
  }
}

TEST(LinkPacket, ChipCommandPayloads) {
  const auto header = TestHeader();
  auto b = std::make_unique<Buffer>();

  b->length = BuildReadRange(b->bytes, {}, header, 0x12345678, 0x0400);
  Bytes p = b->packet();
  EXPECT_EQ(PacketArgument(p), ChipSubCommand::ReadRange);
  EXPECT_EQ(ReadLe32(p, 8 + 48), 0x12345678u);
  EXPECT_EQ(ReadLe16(p, 8 + 52), 0x0400);
  EXPECT_TRUE(std::equal(header.begin() + 54, header.begin() + 64, p.begin() + 8 + 54));

  std::array<uint8_t, kOptionWriteDataLength> option{};
  std::iota(option.begin(), option.end(), uint8_t{1});
  b->bytes.fill(0xEE);
  b->length = BuildWriteOption(b->bytes, {}, header, option);
  p = b->packet();
  EXPECT_EQ(PacketArgument(p), ChipSubCommand::WriteOption);
  EXPECT_TRUE(std::equal(option.begin(), option.end(), p.begin() + 8 + 80));
  EXPECT_TRUE(std::all_of(p.begin() + 8 + 80 + 512, p.end() - 2, [](uint8_t x) { return x == 0; }));
}

TEST(LinkPacket, ReplyCheck) {
  auto sealed = [](Bytes p) {
    const uint16_t c = LinkChecksum(p, 0, static_cast<uint32_t>(p.size() - 1));
    p.push_back(static_cast<uint8_t>(c));
    p.push_back(static_cast<uint8_t>(c >> 8));
    return p;
  };
  const Bytes status2 = sealed({0x93, 5, 0, 0x53, 0, 0, 0x02, 0x00, 0x15, 0x77});
  const Bytes status1 = sealed({0x93, 5, 0, 0x53, 0, 0, 0x01, 0x00, 0x06});
  const Bytes data3 = sealed({0x93, 48, 0, 0x53, 0, 0, 0x03, 0x00, 0x31, 0x32, 0x33});
  const Bytes data4k = [&] {
    Bytes p = {0x9B, 0, 0, 0x53, 0, 0, 0x00, 0x10};
    p.resize(8 + 4096, 0x44);
    return sealed(p);
  }();
  Bytes badCheck = status1;
  badCheck[8] = 0x00;  // says success, but the check word no longer fits
  const Bytes noStatusByte = sealed({0x93, 5, 0, 0x53, 0, 0, 0x00, 0x00});  // byte 8 would be the check word

  struct Case {
    const char* what;
    Bytes reply;
    uint8_t status;
  };
  const Case cases[] = {
      {"status reply of two bytes: byte 8 even when byte 9 is set", status2, 0x15},
      {"status reply of one byte", status1, 0x06},
      {"length field 3: a data reply, whatever byte 8 holds", data3, 0x00},
      {"4 KiB data reply", data4k, 0x00},
      {"wrong check word beats a success byte", badCheck, kStatusCheckMismatch},
      {"no status byte before the check word", noStatusByte, kPacketError},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckReply(c.reply), c.status) << c.what;

  const auto payload = PacketPayload(data3);
  EXPECT_EQ(Bytes(payload.begin(), payload.end()), (Bytes{0x31, 0x32, 0x33}));
  Bytes lying = sealed({0x9B, 0, 0, 0x53, 0, 0, 0x00, 0x10, 1, 2, 3});  // claims 4096 bytes, holds 3
  EXPECT_EQ(PacketPayload(lying).size(), 3u);
}

TEST(LinkPacket, DownloadConfigScrambling) {
  std::array<uint8_t, kConfigBlockLength> block{};
  std::copy(kConfigMarker.begin(), kConfigMarker.end(), block.begin());
  for (size_t i = 4; i < kConfigCheckOffset; ++i) block[i] = static_cast<uint8_t>(i * 13);
  SealConfigBlock(block);
  ASSERT_TRUE(ConfigBlockSound(block));

  EXPECT_EQ(ConfigScrambleMasks(0x0000).m0, 0xDD);
  EXPECT_EQ(ConfigScrambleMasks(0x0000).m1, 0xAB);
  EXPECT_EQ(ConfigScrambleMasks(0x1234).m0, 0xE9);
  EXPECT_EQ(ConfigScrambleMasks(0x1234).m1, 0xB9);

  RandomSource random(3);
  auto a = std::make_unique<Buffer>(), b = std::make_unique<Buffer>();
  a->length = BuildDownloadConfig(a->bytes, {}, block, random);
  do b->length = BuildDownloadConfig(b->bytes, {}, block, random);
  while (PacketArgument(b->packet()) == PacketArgument(a->packet()));
  const Bytes pa = a->packet(), pb = b->packet();
  EXPECT_TRUE(CheckWordRight(pa));
  EXPECT_TRUE(CheckWordRight(pb));

  // Two arguments: the payloads differ exactly where the masks differ.
  const ConfigMasks ma = ConfigScrambleMasks(PacketArgument(pa)),
                    mb = ConfigScrambleMasks(PacketArgument(pb));
  for (size_t i = 0; i < kConfigPayloadLength; ++i) {
    const bool masksDiffer = (i % 2 == 0) ? ma.m0 != mb.m0 : ma.m1 != mb.m1;
    ASSERT_EQ(pa[8 + i] != pb[8 + i], masksDiffer) << "payload byte " << i;
  }

  // The unit's side gets the block back twice, with every argument.
  for (const Bytes* p : {&pa, &pb}) {
    std::array<uint8_t, kConfigPayloadLength> payload{};
    std::copy(p->begin() + 8, p->begin() + 8 + 1024, payload.begin());
    UnscrambleConfigPayload(payload, PacketArgument(*p));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), payload.begin()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), payload.begin() + 512));
  }
  for (uint32_t arg = 0; arg <= 0xFFFF; arg += 0x0101) {
    const ConfigMasks m = ConfigScrambleMasks(static_cast<uint16_t>(arg));
    EXPECT_TRUE((m.m0 & 0x80) && (m.m1 & 0x80));
  }

  // Any single-byte change of a sealed block is caught.
  for (size_t i : {size_t{0}, size_t{100}, kConfigCheckOffset, kConfigSumOffset + 1}) {
    auto bad = block;
    bad[i] ^= 0x01;
    EXPECT_FALSE(ConfigBlockSound(bad)) << "byte " << i;
  }
}

TEST(LinkPacket, FirmwareBlockRoundTrip) {
  std::array<uint8_t, kFirmwareImageBlockLength> image{};
  for (size_t i = 0; i < image.size(); ++i) image[i] = (i % 4 == 3) ? 0 : static_cast<uint8_t>(i * 31 + 5);

  RandomSource random(11);
  for (uint16_t index : {0, 1, 63, 65}) {
    SCOPED_TRACE(index);
    auto b = std::make_unique<Buffer>();
    b->length = BuildFirmwareBlock(b->bytes, index, image, random);
    const Bytes p = b->packet();
    EXPECT_EQ(p[1], static_cast<uint8_t>(index * 4));
    const uint16_t key = ReadLe16(p, 2);
    EXPECT_LE(key, 65524);
    EXPECT_LE(p[4], 254);
    EXPECT_LE(p[5], 254);
    EXPECT_TRUE(CheckWordRight(p));
    for (size_t g = 2048; g < 4128; g += 4) ASSERT_EQ(p[8 + g + 3], 0) << "pad group " << g;
    // The image does not travel in the clear.
    EXPECT_FALSE(std::equal(image.begin(), image.begin() + 64, p.begin() + 8));

    std::array<uint8_t, kFirmwarePayloadLength> payload{};
    std::copy(p.begin() + 8, p.begin() + 8 + 4128, payload.begin());
    std::array<uint8_t, kFirmwareImageBlockLength> back{};
    UnscrambleFirmwareBlock(payload, key, back);
    EXPECT_EQ(back, image);
  }
}

}  // namespace
}  // namespace tarvel
