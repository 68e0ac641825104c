// SLIP framing of link packets, and each channel's receive path.
//
// Transmit: END, the packet with 0xC0 and 0xDB escaped, END, then five 0xFF bytes.
// Receive: the channel appends every chunk the serial port delivers, cuts out each whole frame (END,
// data, END) and hands it to the frame handler; the owner routes it (reply handling once the unit is
// connected, device discovery before) and decodes it itself.
//
// Buffer sizes are set by the worst legal frame, not the usual one: the largest packet of the protocol
// is 4186 bytes and a 4 KiB data reply is 4106, and with every byte 0xC0 or 0xDB a frame doubles. All
// buffers are owned by the channel for the whole run; nothing on the receive path allocates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace tarvel {

constexpr uint8_t kSlipEnd = 0xC0;
constexpr uint8_t kSlipEsc = 0xDB;
constexpr uint8_t kSlipEscEnd = 0xDC;  // ESC ESC_END stands for 0xC0
constexpr uint8_t kSlipEscEsc = 0xDD;  // ESC ESC_ESC stands for 0xDB
constexpr size_t kFrameTrailerLength = 5;
constexpr uint8_t kFrameTrailerByte = 0xFF;
constexpr size_t kMinPacketLength = 8;

constexpr uint8_t kFrameGood = 0x00;
constexpr uint8_t kPacketError = 0x20;

// Room for any packet of the protocol (4186 bytes at most), decoded or being built.
constexpr size_t kPacketBufferSize = 6144;
// The longest frame accepted on receive: a full packet buffer with every byte escaped, and both ENDs.
constexpr size_t kFrameBufferSize = 2 * kPacketBufferSize + 2;
constexpr size_t kTxBufferSize = kFrameBufferSize + kFrameTrailerLength;

// Writes the frame of `packet` into `frame` and returns its length (at most 2n + 7). Throws
// std::length_error, having written nothing past `frame`, when it does not fit.
size_t EncodeFrame(std::span<const uint8_t> packet, std::span<uint8_t> frame);

struct DecodedFrame {
  uint8_t status;  // kFrameGood or kPacketError
  size_t length;   // decoded bytes; 0 on a packet error
};

// Decodes a frame into `packet`: bytes up to the first END (and one END right after it) are skipped; ESC
// directly before the closing END is dropped; a bad escape, a missing closing END, fewer than
// kMinPacketLength bytes or more than `packet` holds are a packet error.
DecodedFrame DecodeFrame(std::span<const uint8_t> frame, std::span<uint8_t> packet);

// Follows a unit's byte stream as it is read and tells how many more bytes the frame in progress needs at
// least: its packet's payload length n is in bytes 6-7 of the envelope, the packet is 10 + n bytes, and
// the frame ends with END (escapes only add bytes). The serial port's receive thread uses it to sleep
// while a long reply is still on the line instead of waking for every piece a USB bridge hands over.
class FrameLengthTracker {
 public:
  void reset() { *this = FrameLengthTracker(); }
  void feed(std::span<const uint8_t> bytes);
  // 0 outside a frame, before the length field has arrived, or when the length is beyond any packet.
  size_t stillToCome() const;

 private:
  bool inFrame_ = false;
  bool escaped_ = false;
  size_t decoded_ = 0;
  uint16_t payloadLength_ = 0;
};

// One channel's link buffers and receive path. Runs on the loop thread only.
//
// The receive path is a byte-stream scanner: the frame in progress is copied into the frame buffer as its
// bytes arrive and kept there between chunks, so every received byte is looked at once, however finely
// the serial port cuts the stream. Bytes outside frames are never kept, so noise without END cannot fill
// anything.
//
// A frame that grows past kFrameBufferSize cannot be legal (a unit's stream lost its closing END, or is
// noise): it is dropped with everything up to and including the next END, which would have closed it,
// and counted in droppedFrames(). Its reply is lost, which the channel's watchdog reports like any
// missing reply.
class ChannelLink {
 public:
  using FrameHandler = std::function<void(std::span<const uint8_t> frame)>;

  // `countdown` is the channel's response watchdog, reloaded by every chunk received.
  explicit ChannelLink(uint16_t& countdown) : countdown_(countdown) {}
  ChannelLink(const ChannelLink&) = delete;
  ChannelLink& operator=(const ChannelLink&) = delete;

  static constexpr uint16_t kReceiveCountdown = 1000;  // 10 s of 10 ms ticks

  // Called once per frame as it is cut out, before the next one is looked for, so a handler that
  // connects the channel changes where the rest of the same chunk goes. The frame (both ENDs included)
  // is valid during the call only.
  void setFrameHandler(FrameHandler handler) { onFrame_ = std::move(handler); }

  // The receive entry: one call per chunk the serial port delivered.
  void ReceiveData(std::span<const uint8_t> chunk);
  // Forgets every byte received so far (rxLength = 0). A frame handler may call it; the rest of the
  // chunk being processed is then dropped as well.
  void ResetReceive();

  // Bytes kept for the next chunk: the frame in progress, its opening END included.
  size_t rxLength() const { return (scan_ == Scan::Opened || scan_ == Scan::Copy) ? frameLength_ : 0; }
  uint32_t droppedFrames() const { return droppedFrames_; }

  // Decodes a frame into packetBuffer.
  DecodedFrame Decode(std::span<const uint8_t> frame) { return DecodeFrame(frame, packetBuffer); }
  // Encodes the first `length` bytes of packetBuffer into txBuffer; returns the frame's length.
  size_t EncodePacket(size_t length);

  // The decoded reply, and the build area of outgoing packets.
  std::array<uint8_t, kPacketBufferSize> packetBuffer{};
  std::array<uint8_t, kTxBufferSize> txBuffer{};

 private:
  enum class Scan : uint8_t {
    Search,   // skipping bytes outside frames, up to an END
    Opened,   // an END was seen; another END right after it opens the frame instead
    Copy,     // inside a frame, up to its closing END
    Discard,  // inside a frame too long to keep, up to its closing END
  };

  uint16_t& countdown_;
  FrameHandler onFrame_;
  Scan scan_ = Scan::Search;
  size_t frameLength_ = 0;
  std::array<uint8_t, kFrameBufferSize> frameBuffer_{};
  uint32_t resets_ = 0;
  uint32_t droppedFrames_ = 0;
};

}  // namespace tarvel
