// A channel's receive path with the byte stream cut into arbitrary chunks, and the frame coding.
// Header: mode u8.
//   mode 0: n u8 (1..8 chunk lengths follow), the chunk lengths, then the stream. The frames handed over
//           must not depend on how the serial port cut the stream: the chunked stream and the stream in
//           one piece must give the same frames, the same drops and the same bytes kept, and the port's
//           read-ahead (how much of the frame is still to come) the same word;
//   mode 1: the same chunks, with a handler that forgets everything received at the k-th frame (k u8);
//   mode 2: the rest is a packet; its frame must decode to the packet again;
//   mode 3: the rest is a frame, decoded into a packet buffer of a given size (u16).
#include <array>
#include <vector>

#include "FuzzSupport.h"
#include "link/FrameLayer.h"

using namespace tarvel;
using namespace tarvel::fuzz;

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

struct Chunks {
  std::vector<size_t> lengths;
  std::span<const uint8_t> stream;
};

Chunks ReadChunks(Input& in) {
  Chunks c;
  const size_t n = in.u8() % 8 + 1;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = in.u8();
    c.lengths.push_back(b == 0xFF ? 5000 : b + 1u);  // now and then a chunk longer than any frame
  }
  c.stream = in.rest();
  return c;
}

// Every frame as it is handed over, checked against what the receive path promises.
struct Receiver {
  uint16_t countdown = 0;
  ChannelLink link{countdown};
  Frames frames;
  size_t resetAt = 0;  // 1-based frame number at which the handler resets; 0 never

  Receiver() {
    link.setFrameHandler([this](std::span<const uint8_t> frame) {
      Check(frame.size() >= 2 && frame.front() == kSlipEnd && frame.back() == kSlipEnd,
            "a frame handed over without its two ENDs");
      Check(frame.size() <= kFrameBufferSize, "a frame longer than the frame buffer");
      for (size_t i = 1; i + 1 < frame.size(); ++i) Check(frame[i] != kSlipEnd, "an END inside a frame");
      const DecodedFrame d = link.Decode(frame);
      Check(d.length <= link.packetBuffer.size(), "a decoded packet longer than its buffer");
      Check(d.status == kFrameGood ? d.length >= kMinPacketLength : d.length == 0, "a decode result");
      frames.emplace_back(frame.begin(), frame.end());
      if (resetAt != 0 && frames.size() == resetAt) link.ResetReceive();
    });
  }

  void receive(const Chunks& c) {
    size_t pos = 0;
    for (size_t i = 0; pos < c.stream.size(); ++i) {
      const size_t n = std::min(c.lengths[i % c.lengths.size()], c.stream.size() - pos);
      link.ReceiveData(c.stream.subspan(pos, n));
      Check(countdown == ChannelLink::kReceiveCountdown, "a chunk did not reload the watchdog");
      Check(link.rxLength() <= kFrameBufferSize, "more bytes kept than the frame buffer holds");
      pos += n;
    }
  }
};

void ChunkedMatchesWhole(Input& in) {
  const Chunks chunks = ReadChunks(in);
  Receiver chunked, whole;
  chunked.receive(chunks);
  whole.receive(Chunks{{chunks.stream.size() + 1}, chunks.stream});
  Check(chunked.frames == whole.frames, "the frames depend on how the stream was cut");
  Check(chunked.link.droppedFrames() == whole.link.droppedFrames(), "the drops depend on how the stream was cut");
  Check(chunked.link.rxLength() == whole.link.rxLength(), "the bytes kept depend on how the stream was cut");

  // The serial port's read-ahead follows the same stream: its word must not depend on the cuts either, and
  // never promise more than the largest frame.
  FrameLengthTracker piecewise, once;
  size_t pos = 0;
  for (size_t i = 0; pos < chunks.stream.size(); ++i) {
    const size_t n = std::min(chunks.lengths[i % chunks.lengths.size()], chunks.stream.size() - pos);
    piecewise.feed(chunks.stream.subspan(pos, n));
    Check(piecewise.stillToCome() <= kPacketBufferSize + 1, "the read-ahead promises more than any packet");
    pos += n;
  }
  once.feed(chunks.stream);
  Check(piecewise.stillToCome() == once.stillToCome(), "the read-ahead depends on how the stream was cut");
}

void ResetInHandler(Input& in) {
  Receiver r;
  r.resetAt = in.u8() % 4 + 1;
  const Chunks chunks = ReadChunks(in);
  r.receive(chunks);
  if (r.frames.size() >= r.resetAt) {
    // Whatever was received after the reset, the receiver searches for frames afresh.
    r.link.ReceiveData(std::array<uint8_t, 1>{kSlipEnd});
    Check(r.link.rxLength() <= 1, "bytes from before the reset are still kept");
  }
}

void EncodeDecode(std::span<const uint8_t> packet) {
  std::vector<uint8_t> frame(2 * packet.size() + 7);
  const size_t n = EncodeFrame(packet, frame);
  Check(n <= frame.size(), "a frame longer than 2n + 7");
  std::vector<uint8_t> back(packet.size() + 1);
  const DecodedFrame d = DecodeFrame(std::span<const uint8_t>(frame.data(), n), back);
  if (packet.size() < kMinPacketLength) {
    Check(d.status == kPacketError, "a packet shorter than the minimum decoded");
    return;
  }
  Check(d.status == kFrameGood && d.length == packet.size(), "a frame did not decode to its packet");
  Check(std::equal(packet.begin(), packet.end(), back.begin()), "a frame decoded to other bytes");
}

void Decode(Input& in) {
  std::vector<uint8_t> packet(in.u16() % (kPacketBufferSize + 16));
  const DecodedFrame d = DecodeFrame(in.rest(), packet);
  Check(d.length <= packet.size(), "a decoded packet longer than its buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  switch (in.u8() % 4) {
    case 0: ChunkedMatchesWhole(in); break;
    case 1: ResetInHandler(in); break;
    case 2: EncodeDecode(in.rest()); break;
    case 3: Decode(in); break;
  }
  return 0;
}
