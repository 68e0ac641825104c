#include "link/FrameLayer.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Encode(const Bytes& packet) {
  Bytes frame(2 * packet.size() + 7);
  frame.resize(EncodeFrame(packet, frame));
  return frame;
}

TEST(FrameEncoding, EscapesAndAddsTheTrailer) {
  const Bytes restart = {0x8A, 0x52, 0x45, 0x53, 0x54, 0xA8, 0x02, 0x00, 0x00, 0x00, 0xCD, 0x02};
  EXPECT_EQ(Encode(restart), (Bytes{0xC0, 0x8A, 0x52, 0x45, 0x53, 0x54, 0xA8, 0x02, 0x00, 0x00, 0x00, 0xCD,
                                    0x02, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Encode({0xC0, 0x01, 0xDB, 0xDC, 0xDD}),
            (Bytes{0xC0, 0xDB, 0xDC, 0x01, 0xDB, 0xDD, 0xDC, 0xDD, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

  // The worst packet a channel can build fits its transmit buffer.
  uint16_t countdown = 0;
  auto link = std::make_unique<ChannelLink>(countdown);
  link->packetBuffer.fill(0xDB);
  EXPECT_EQ(link->EncodePacket(kPacketBufferSize), 2 * kPacketBufferSize + 7);
  EXPECT_THROW(link->EncodePacket(kPacketBufferSize + 1), std::length_error);

  // A buffer too small is refused without writing past it.
  Bytes area(12, 0x55);
  EXPECT_THROW(EncodeFrame(restart, std::span<uint8_t>(area.data(), 10)), std::length_error);
  EXPECT_EQ(area[10], 0x55);
  EXPECT_EQ(area[11], 0x55);
}

TEST(FrameDecoding, FollowsTheFramingRules) {
  const Bytes eight = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    const char* what;
    Bytes frame;
    uint8_t status;
    Bytes packet;
  };
  const Case cases[] = {
      {"plain", Cat({{0xC0}, eight, {0xC0}}), kFrameGood, eight},
      {"escapes",
       {0xC0, 0xDB, 0xDC, 0xDB, 0xDD, 3, 4, 5, 6, 7, 8, 0xC0},
       kFrameGood,
       {0xC0, 0xDB, 3, 4, 5, 6, 7, 8}},
      {"bytes before the first END and a second END are skipped",
       Cat({{0x11, 0xFF, 0xC0, 0xC0}, eight, {0xC0}}), kFrameGood, eight},
      {"ESC before the closing END is dropped", Cat({{0xC0}, eight, {0xDB, 0xC0}}), kFrameGood, eight},
      {"seven bytes", {0xC0, 1, 2, 3, 4, 5, 6, 7, 0xC0}, kPacketError, {}},
      {"seven bytes and a dropped ESC", {0xC0, 1, 2, 3, 4, 5, 6, 7, 0xDB, 0xC0}, kPacketError, {}},
      {"ESC and a plain byte", Cat({{0xC0}, eight, {0xDB, 0x41, 0xC0}}), kPacketError, {}},
      {"ESC ESC", Cat({{0xC0}, eight, {0xDB, 0xDB, 0xDD, 0xC0}}), kPacketError, {}},
      {"no closing END", Cat({{0xC0}, eight}), kPacketError, {}},
      {"no END at all", eight, kPacketError, {}},
      {"three ENDs: the third closes an empty frame",
       Cat({{0xC0, 0xC0, 0xC0}, eight, {0xC0}}),
       kPacketError,
       {}},
  };
  for (const auto& c : cases) {
    Bytes packet(kPacketBufferSize, 0xEE);
    const DecodedFrame d = DecodeFrame(c.frame, packet);
    EXPECT_EQ(d.status, c.status) << c.what;
    EXPECT_EQ(Bytes(packet.begin(), packet.begin() + static_cast<long>(d.length)), c.packet) << c.what;
  }

  // More decoded bytes than the packet buffer holds is a packet error, not an overrun.
  Bytes small(9, 0x55);
  EXPECT_EQ(DecodeFrame(Encode(Bytes(9, 1)), std::span<uint8_t>(small.data(), 8)).status, kPacketError);
  EXPECT_EQ(small[8], 0x55);
}

TEST(FrameDecoding, RoundTripsAnyPacket) {
  std::mt19937 rng(7);
  for (size_t len : {size_t{8}, size_t{100}, size_t{4106}, size_t{4186}}) {
    Bytes p(len);
    // Heavy in the two bytes that need escaping.
    for (auto& b : p) b = std::array<uint8_t, 4>{0xC0, 0xDB, 0xDC, static_cast<uint8_t>(rng())}[rng() % 4];
    Bytes out(kPacketBufferSize);
    const DecodedFrame d = DecodeFrame(Encode(p), out);
    ASSERT_EQ(d.status, kFrameGood);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(d.length)), p);
  }
}

// Feeds chunks to a channel and records the frames it hands over.
struct Channel {
  uint16_t countdown = 0;
  std::unique_ptr<ChannelLink> link = std::make_unique<ChannelLink>(countdown);
  std::vector<Bytes> frames;
  Channel() {
    link->setFrameHandler([this](std::span<const uint8_t> f) { frames.emplace_back(f.begin(), f.end()); });
  }
  void feed(const Bytes& chunk) { link->ReceiveData(chunk); }
};

TEST(ReceivePath, CutsFramesOutOfTheStream) {
  const Bytes a = {0xC0, 0x01, 0x02, 0xC0}, b = {0xC0, 0x03, 0xC0};
  const Bytes trailer(5, 0xFF);
  struct Case {
    const char* what;
    std::vector<Bytes> chunks;
    std::vector<Bytes> frames;
  };
  const Case cases[] = {
      {"one chunk", {a}, {a}},
      {"split over three chunks", {{0xC0}, {0x01}, {0x02, 0xC0}}, {a}},
      {"two frames and trailers in one chunk", {Cat({a, trailer, b, trailer})}, {a, b}},
      {"END END data END", {{0xC0, 0xC0, 0x01, 0x02, 0xC0}}, {a}},
      {"three ENDs", {{0xC0, 0xC0, 0xC0, 0x01, 0x02, 0xC0}}, {a}},
      {"END END split", {{0xC0}, {0xC0, 0x01, 0x02}, {0xC0}}, {a}},
      {"back to back", {Cat({a, b})}, {a, b}},
      {"garbage before and after",
       {{0x55, 0x66, 0xC0, 0x01, 0x02, 0xC0, 0x77}, {0x88, 0xC0, 0x03, 0xC0}},
       {a, b}},
      {"an END as the last byte waits for more", {{0x99, 0xC0}, {0x01, 0x02, 0xC0}}, {a}},
      {"a frame that never closes", {{0xC0, 0x01, 0x02}}, {}},
  };
  for (const auto& c : cases) {
    Channel ch;
    for (const auto& chunk : c.chunks) ch.feed(chunk);
    EXPECT_EQ(ch.frames, c.frames) << c.what;
  }
}

TEST(ReceivePath, EveryChunkReloadsTheWatchdog) {
  Channel ch;
  ch.countdown = 3;
  ch.feed({0x42});
  EXPECT_EQ(ch.countdown, 1000);
  ch.countdown = 3;
  ch.feed({0xC0, 0x01, 0xC0});
  EXPECT_EQ(ch.countdown, 1000);
}

TEST(ReceivePath, HandlersRouteEachFrameAndMayResetTheChannel) {
  uint16_t countdown = 0;
  auto link = std::make_unique<ChannelLink>(countdown);
  bool connected = false;
  std::vector<std::string> trace;
  link->setFrameHandler([&](std::span<const uint8_t> f) {
    trace.push_back((connected ? "reply " : "discovery ") + std::to_string(f[1]));
    if (f[1] == 1) connected = true;  // the first frame identifies the unit
    if (f[1] == 3) link->ResetReceive();
  });
  link->ReceiveData(Bytes{0xC0, 1, 0xC0, 0xC0, 2, 0xC0, 0xC0, 3, 0xC0, 0xC0, 4, 0xC0, 0xC0, 5});
  EXPECT_EQ(trace, (std::vector<std::string>{"discovery 1", "reply 2", "reply 3"}));
  EXPECT_EQ(link->rxLength(), 0u) << "a reset drops the rest of the chunk";
  link->ReceiveData(Bytes{6, 0xC0, 0xC0, 7, 0xC0});
  EXPECT_EQ(trace.back(), "reply 7");
}

TEST(ReceivePath, ChannelsKeepTheirOwnState) {
  Channel one, two;
  const Bytes stream = {0xC0, 1, 2, 3, 0xC0, 0xFF, 0xC0, 4, 5, 0xC0};
  for (size_t i = 0; i < stream.size(); ++i) {
    one.feed({stream[i]});
    if (i % 3 == 2)
      two.feed(Bytes(stream.begin() + static_cast<long>(i) - 2, stream.begin() + static_cast<long>(i) + 1));
  }
  two.feed({stream.back()});
  const std::vector<Bytes> expected = {{0xC0, 1, 2, 3, 0xC0}, {0xC0, 4, 5, 0xC0}};
  EXPECT_EQ(one.frames, expected);
  EXPECT_EQ(two.frames, expected);
}

// Feeds `stream` in chunks of 1..2048 bytes.
void FeedInChunks(Channel& ch, const Bytes& stream, unsigned seed) {
  std::mt19937 rng(seed);
  for (size_t i = 0; i < stream.size();) {
    const size_t n = std::min<size_t>(stream.size() - i, 1 + rng() % 2048);
    ch.feed(Bytes(stream.begin() + static_cast<long>(i), stream.begin() + static_cast<long>(i + n)));
    i += n;
  }
}

TEST(ReceivePath, TheWorstLegalFrameGetsThrough) {
  // A 4 KiB data reply whose bytes all need escaping.
  Bytes reply(4106, 0xC0);
  reply[0] = 0x9B;
  Channel ch;
  FeedInChunks(ch, Encode(reply), 1);
  ASSERT_EQ(ch.frames.size(), 1u);
  const DecodedFrame d = ch.link->Decode(ch.frames[0]);
  ASSERT_EQ(d.status, kFrameGood);
  EXPECT_EQ(Bytes(ch.link->packetBuffer.begin(), ch.link->packetBuffer.begin() + static_cast<long>(d.length)),
            reply);
}

TEST(ReceivePath, OverlongFramesAndNoiseAreDroppedWithoutOverrun) {
  const Bytes good = {0xC0, 1, 2, 3, 4, 5, 6, 7, 8, 0xC0};
  auto frameOf = [](size_t length) {  // END, data, END: `length` bytes in all
    Bytes f(length, 0x5A);
    f.front() = f.back() = 0xC0;
    return f;
  };
  struct Case {
    const char* what;
    Bytes stream;
    Bytes frame;  // the one frame handed over
    uint32_t dropped;
  };
  const Case cases[] = {
      {"the longest frame accepted", frameOf(kFrameBufferSize), frameOf(kFrameBufferSize), 0},
      {"one byte more is dropped, up to its closing END", Cat({frameOf(kFrameBufferSize + 1), good}), good,
       1},
      {"a frame without its closing END for 100 KB", Cat({{0xC0}, Bytes(100000, 0x11), {0xC0}, good}), good,
       1},
      {"noise without END", Cat({Bytes(100000, 0x22), good}), good, 0},
      {"a long run of ENDs", Cat({Bytes(100000, 0xC0), {1, 2, 3, 4, 5, 6, 7, 8, 0xC0}}), good, 0},
  };
  for (const auto& c : cases) {
    Channel ch;
    FeedInChunks(ch, c.stream, 2);
    EXPECT_EQ(ch.frames, std::vector<Bytes>{c.frame}) << c.what;
    EXPECT_EQ(ch.link->droppedFrames(), c.dropped) << c.what;
  }
  // One chunk far larger than the receive buffer.
  Channel big;
  big.feed(Cat({Bytes(50000, 0x33), good, Bytes(50000, 0xC0), good}));
  EXPECT_EQ(big.frames, (std::vector<Bytes>{good, good}));
}

// How many bytes the frame in progress still needs, as the receive thread asks after every read: the
// packet's length field (bytes 6-7, possibly escaped) gives the rest, however the stream is cut.
TEST(FrameLength, TellsWhatTheFrameInProgressStillNeeds) {
  Bytes packet(4096 + 10, 0x11);
  packet[6] = 0x00;
  packet[7] = 0x10;  // n = 4096
  const Bytes frame = Encode(packet);
  Bytes escapedLength(0xC0 + 10, 0x22);
  escapedLength[6] = 0xC0;  // n = 0xC0, sent as ESC ESC_END
  escapedLength[7] = 0x00;
  const Bytes escaped = Encode(escapedLength);
  Bytes huge(16, 0);
  huge[6] = 0xFF;
  huge[7] = 0xFF;  // beyond any packet of the protocol
  struct Case {
    const char* what;
    Bytes stream;
    size_t expected;
  };
  const Case cases[] = {
      {"nothing yet", {}, 0},
      {"noise outside a frame", {0x55, 0x66}, 0},
      {"seven bytes: no length yet", Bytes(frame.begin(), frame.begin() + 8), 0},
      {"the header", Bytes(frame.begin(), frame.begin() + 9), 4096 + 10 - 8 + 1},
      {"half the frame", Bytes(frame.begin(), frame.begin() + 1 + 2000), 4096 + 10 - 2000 + 1},
      {"all but the closing END", Bytes(frame.begin(), frame.begin() + 1 + 4106), 1},
      {"the whole frame and its trailer", frame, 0},
      {"an opening END doubled", Cat({{0xC0}, Bytes(frame.begin(), frame.begin() + 9)}), 4096 + 10 - 8 + 1},
      {"an escaped length byte", Bytes(escaped.begin(), escaped.begin() + 10), 0xC0 + 10 - 8 + 1},
      {"a length beyond any packet", Cat({{0xC0}, huge}), 0},
      {"the next frame after a closed one", Cat({frame, Bytes(escaped.begin(), escaped.begin() + 10)}), 0xC0 + 3},
  };
  for (const Case& c : cases) {
    FrameLengthTracker whole;
    whole.feed(c.stream);
    EXPECT_EQ(whole.stillToCome(), c.expected) << c.what;
    FrameLengthTracker byByte;
    for (const uint8_t b : c.stream) byByte.feed(std::span<const uint8_t>(&b, 1));
    EXPECT_EQ(byByte.stillToCome(), c.expected) << c.what << " (byte by byte)";
  }
  FrameLengthTracker t;
  t.feed(Bytes(frame.begin(), frame.begin() + 9));
  t.reset();
  EXPECT_EQ(t.stillToCome(), 0u) << "reset forgets the frame";
}

}  // namespace
}  // namespace tarvel
