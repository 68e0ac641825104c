// Link throughput against the wire: bytes per second through the channel receive path (ten channels,
// chunks as the serial port delivers them, each frame decoded and checked as the reply dispatcher does),
// and frames per second through the encoder. Each result is printed as a multiple of one port's wire
// rate: 1,000,000 baud with 8N2 carries 90,909 bytes/s.
//   link_bench [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "link/FrameLayer.h"
#include "link/LinkPacket.h"

namespace {

using namespace tarvel;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr double kWireBytesPerSecond = 1000000.0 / 11.0;
constexpr int kChannels = 10;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

Bytes Packet(uint8_t command, uint16_t argument, const Bytes& payload) {
  std::array<uint8_t, kPacketBufferSize> buffer{};
  const size_t n = BuildPacket(buffer, command, argument, {}, payload);
  return Bytes(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(n));
}

Bytes Frame(const Bytes& packet) {
  Bytes frame(2 * packet.size() + 7);
  frame.resize(EncodeFrame(packet, frame));
  return frame;
}

Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// What a unit sends during a working session: mostly 4 KiB data replies (verify and read-back), status
// replies to every block written, progress records, a checksum and an option read.
Bytes UnitStream(std::mt19937& rng) {
  Bytes stream;
  auto add = [&](const Bytes& packet) {
    const Bytes f = Frame(packet);
    stream.insert(stream.end(), f.begin(), f.end());
  };
  for (int block = 0; block < 32; ++block) {
    add(Packet(LinkCommand::ReadFlashBlock, static_cast<uint16_t>(block * 4),
               RandomBytes(rng, kDataBlockLength)));
    add(Packet(LinkCommand::ProgramFlashBlock, static_cast<uint16_t>(block * 4), {kStatusAck, 0}));
    add({kProgressRecordMark, 0x40, 0, static_cast<uint8_t>(block * 4), 0, 128, 0,
         static_cast<uint8_t>(-(0xFD + 0x40 + block * 4 + 128))});
  }
  add(Packet(LinkCommand::ChipCommand, ChipSubCommand::ReadChecksum, {0x34, 0x12, 0x78, 0x56}));
  add(Packet(LinkCommand::ChipCommand, ChipSubCommand::ReadOption, RandomBytes(rng, 512)));
  return stream;
}

struct ReceiveResult {
  double bytesPerSecond;
  uint64_t frames;
};

// Feeds every channel its stream in chunks of the given sizes, round robin, `rounds` times.
ReceiveResult MeasureReceive(const std::vector<size_t>& chunkSizes, int rounds) {
  std::mt19937 rng(1);
  std::vector<uint16_t> countdowns(kChannels);
  std::vector<std::unique_ptr<ChannelLink>> links;
  std::vector<Bytes> streams;
  uint64_t frames = 0, errors = 0;
  for (int c = 0; c < kChannels; ++c) {
    links.push_back(std::make_unique<ChannelLink>(countdowns[static_cast<size_t>(c)]));
    ChannelLink* link = links.back().get();
    link->setFrameHandler([&, link](std::span<const uint8_t> frame) {
      const DecodedFrame d = link->Decode(frame);
      const uint8_t status = d.status == kFrameGood
                                 ? CheckReply(std::span<const uint8_t>(link->packetBuffer.data(), d.length))
                                 : d.status;
      ++frames;
      if (status != kStatusOk && status != kStatusAck && link->packetBuffer[0] != kProgressRecordMark)
        ++errors;
    });
    streams.push_back(UnitStream(rng));
  }

  uint64_t bytes = 0;
  const auto start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    std::vector<size_t> pos(kChannels, 0);
    size_t next = static_cast<size_t>(r);
    for (bool more = true; more;) {
      more = false;
      for (size_t c = 0; c < kChannels; ++c) {
        const Bytes& s = streams[c];
        if (pos[c] == s.size()) continue;
        const size_t n = std::min(chunkSizes[next++ % chunkSizes.size()], s.size() - pos[c]);
        links[c]->ReceiveData(std::span<const uint8_t>(s.data() + pos[c], n));
        pos[c] += n;
        bytes += n;
        more = true;
      }
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (errors != 0)
    std::printf("  (unexpected: %llu replies failed their check)\n", (unsigned long long)errors);
  return {static_cast<double>(bytes) / seconds, frames};
}

double MeasureEncode(const Bytes& packet, int count) {
  std::vector<uint8_t> tx(kTxBufferSize);
  size_t sink = 0;
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) sink += EncodeFrame(packet, tx);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (sink == 0) std::printf("?");
  return count / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::printf("One port's wire rate: %.0f bytes/s (1,000,000 baud, 8N2)\n\n", kWireBytesPerSecond);

  std::printf("Receive path, %d channels, frames decoded and checked:\n", kChannels);
  std::mt19937 rng(42);
  std::vector<size_t> randomSizes(4096);
  for (auto& s : randomSizes) s = 1 + rng() % 2048;
  const struct {
    const char* name;
    std::vector<size_t> sizes;
    int rounds;
  } chunkings[] = {
      {"chunks of 1 byte", {1}, 4},
      {"chunks of 64 bytes", {64}, 20},
      {"chunks of 1..2048 bytes", randomSizes, 30},
      {"chunks of 2048 bytes", {2048}, 30},
  };
  for (const auto& c : chunkings) {
    std::vector<double> rates;
    uint64_t frames = 0;
    for (int r = 0; r < runs; ++r) {
      const ReceiveResult res = MeasureReceive(c.sizes, c.rounds);
      rates.push_back(res.bytesPerSecond);
      frames = res.frames;
    }
    const double rate = Median(rates);
    std::printf("  %-26s %8.1f MB/s = %7.0fx wire (%llu frames per run)\n", c.name, rate / 1e6,
                rate / kWireBytesPerSecond, (unsigned long long)frames);
  }

  std::printf("\nEncoder:\n");
  std::mt19937 prng(7);
  const Bytes header = RandomBytes(prng, kSettingsHeaderLength);
  Bytes program = header;
  const Bytes data = RandomBytes(prng, kDataBlockLength);
  program.insert(program.end(), data.begin(), data.end());
  const struct {
    const char* name;
    Bytes packet;
    int count;
  } packets[] = {
      {"ProgramFlashBlock", Packet(LinkCommand::ProgramFlashBlock, 0, program), 20000},
      {"ReadFlashBlock", Packet(LinkCommand::ReadFlashBlock, 0, header), 500000},
      {"RestartUnit", Packet(LinkCommand::RestartUnit, 0, {0, 0}), 2000000},
  };
  for (const auto& p : packets) {
    std::vector<double> rates;
    for (int r = 0; r < runs; ++r) rates.push_back(MeasureEncode(p.packet, p.count));
    const double rate = Median(rates);
    const size_t frameLength = Frame(p.packet).size();
    const double wireFrames = kWireBytesPerSecond / static_cast<double>(frameLength);
    std::printf("  %-18s %5zu-byte frame %12.0f frames/s = %7.0fx wire\n", p.name, frameLength, rate,
                rate / wireFrames);
  }
  return 0;
}
