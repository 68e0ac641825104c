#include "link/FrameLayer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tarvel {

size_t EncodeFrame(std::span<const uint8_t> packet, std::span<uint8_t> frame) {
  size_t n = 0;
  auto put = [&](uint8_t b) {
    if (n == frame.size()) throw std::length_error("frame does not fit its buffer");
    frame[n++] = b;
  };
  put(kSlipEnd);
  for (const uint8_t b : packet) {
    if (b == kSlipEnd) {
      put(kSlipEsc);
      put(kSlipEscEnd);
    } else if (b == kSlipEsc) {
      put(kSlipEsc);
      put(kSlipEscEsc);
    } else {
      put(b);
    }
  }
  put(kSlipEnd);
  for (size_t i = 0; i < kFrameTrailerLength; ++i) put(kFrameTrailerByte);
  return n;
}

DecodedFrame DecodeFrame(std::span<const uint8_t> frame, std::span<uint8_t> packet) {
  constexpr DecodedFrame kError{kPacketError, 0};
  size_t i = 0;
  while (i < frame.size() && frame[i] != kSlipEnd) ++i;
  if (i == frame.size()) return kError;
  ++i;
  if (i < frame.size() && frame[i] == kSlipEnd) ++i;

  size_t out = 0;
  bool escaped = false;
  for (; i < frame.size(); ++i) {
    uint8_t b = frame[i];
    if (b == kSlipEnd) return out < kMinPacketLength ? kError : DecodedFrame{kFrameGood, out};
    if (escaped) {
      escaped = false;
      if (b == kSlipEscEnd) {
        b = kSlipEnd;
      } else if (b == kSlipEscEsc) {
        b = kSlipEsc;
      } else {
        return kError;
      }
    } else if (b == kSlipEsc) {
      escaped = true;
      continue;
    }
    if (out == packet.size()) return kError;
    packet[out++] = b;
  }
  return kError;
}

size_t ChannelLink::EncodePacket(size_t length) {
  if (length > packetBuffer.size()) throw std::length_error("packet larger than its buffer");
  return EncodeFrame(std::span<const uint8_t>(packetBuffer.data(), length), txBuffer);
}

void ChannelLink::ResetReceive() {
  rxStart_ = rxLength_ = 0;
  discarding_ = false;
  ++resets_;
}

ChannelLink::Cut ChannelLink::ExtractFrame(size_t& pos, size_t& frameLength) {
  frameLength = 0;
  // Search: the last END of a run opens the frame (END END is a closing and an opening END).
  for (;;) {
    while (pos < rxLength_ && rxBuffer_[pos] != kSlipEnd) ++pos;
    if (pos == rxLength_) return Cut::None;
    frameBuffer_[0] = kSlipEnd;
    frameLength = 1;
    ++pos;
    if (pos < rxLength_ && rxBuffer_[pos] == kSlipEnd) continue;
    break;
  }
  // Copy up to and including the closing END.
  while (pos < rxLength_) {
    if (frameLength == frameBuffer_.size()) return Cut::TooLong;
    const uint8_t b = rxBuffer_[pos++];
    frameBuffer_[frameLength++] = b;
    if (b == kSlipEnd) return Cut::Frame;
  }
  return Cut::None;
}

bool ChannelLink::SkipThroughEnd(size_t& pos) const {
  while (pos < rxLength_ && rxBuffer_[pos] != kSlipEnd) ++pos;
  if (pos == rxLength_) return false;
  ++pos;
  return true;
}

void ChannelLink::KeepRest(size_t from) {
  // What the next search would skip is not worth keeping: bytes before the first END, and all but the
  // last END of a run. What stays is one frame in progress, never longer than a frame.
  while (from < rxLength_ && rxBuffer_[from] != kSlipEnd) ++from;
  while (from + 1 < rxLength_ && rxBuffer_[from + 1] == kSlipEnd) ++from;
  const size_t rest = rxLength_ - from;
  if (rest > 0 && from > 0) std::memmove(rxBuffer_.data(), rxBuffer_.data() + from, rest);
  rxStart_ = 0;
  rxLength_ = rest;
}

void ChannelLink::ReceiveData(std::span<const uint8_t> chunk) {
  countdown_ = kReceiveCountdown;
  const uint32_t resets = resets_;
  // A chunk larger than the free space is taken in parts; after each part at most one frame in
  // progress is kept, so every part makes room for the next.
  while (!chunk.empty()) {
    if (rxStart_ > 0) KeepRest(rxStart_);
    const size_t take = std::min(chunk.size(), rxBuffer_.size() - rxLength_);
    std::memcpy(rxBuffer_.data() + rxLength_, chunk.data(), take);
    rxLength_ += take;
    chunk = chunk.subspan(take);

    size_t pos = rxStart_;
    if (discarding_) {
      discarding_ = !SkipThroughEnd(pos);
      rxStart_ = pos;
    }
    while (!discarding_) {
      size_t frameLength = 0;
      const Cut cut = ExtractFrame(pos, frameLength);
      if (cut == Cut::None) break;
      if (cut == Cut::TooLong) {
        ++droppedFrames_;
        discarding_ = !SkipThroughEnd(pos);
        rxStart_ = pos;
        continue;
      }
      // Consumed before the hand-over, so a handler that throws or resets leaves a consistent state.
      rxStart_ = pos;
      if (onFrame_) onFrame_(std::span<const uint8_t>(frameBuffer_.data(), frameLength));
      if (resets_ != resets) return;
    }
    KeepRest(rxStart_);
  }
}

}  // namespace tarvel
