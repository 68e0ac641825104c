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
  scan_ = Scan::Search;
  frameLength_ = 0;
  ++resets_;
}

void ChannelLink::ReceiveData(std::span<const uint8_t> chunk) {
  countdown_ = kReceiveCountdown;
  const uint32_t resets = resets_;
  const uint8_t* p = chunk.data();
  const uint8_t* const end = p + chunk.size();
  auto nextEnd = [&] {
    return static_cast<const uint8_t*>(std::memchr(p, kSlipEnd, static_cast<size_t>(end - p)));
  };

  while (p < end) {
    switch (scan_) {
      case Scan::Search: {
        const uint8_t* e = nextEnd();
        if (!e) return;
        frameBuffer_[0] = kSlipEnd;
        frameLength_ = 1;
        scan_ = Scan::Opened;
        p = e + 1;
        break;
      }
      case Scan::Opened:
        // END END is a closing and an opening END: the last END of a run opens the frame.
        if (*p == kSlipEnd) {
          ++p;
          break;
        }
        scan_ = Scan::Copy;
        break;
      case Scan::Copy: {
        const uint8_t* e = nextEnd();
        const size_t n = static_cast<size_t>((e ? e + 1 : end) - p);
        if (n > frameBuffer_.size() - frameLength_) {
          ++droppedFrames_;
          frameLength_ = 0;
          scan_ = e ? Scan::Search : Scan::Discard;
          p = e ? e + 1 : end;
          break;
        }
        std::memcpy(frameBuffer_.data() + frameLength_, p, n);
        frameLength_ += n;
        p += n;
        if (!e) break;
        // Consumed before the hand-over, so a handler that throws or resets leaves a consistent state.
        const size_t length = frameLength_;
        scan_ = Scan::Search;
        frameLength_ = 0;
        if (onFrame_) onFrame_(std::span<const uint8_t>(frameBuffer_.data(), length));
        if (resets_ != resets) return;
        break;
      }
      case Scan::Discard: {
        const uint8_t* e = nextEnd();
        if (!e) return;
        scan_ = Scan::Search;
        p = e + 1;
        break;
      }
    }
  }
}

void FrameLengthTracker::feed(std::span<const uint8_t> bytes) {
  for (const uint8_t b : bytes) {
    if (b == kSlipEnd) {
      // An END after data closes the frame; any other END opens one.
      inFrame_ = !(inFrame_ && decoded_ > 0);
      decoded_ = 0;
      escaped_ = false;
      continue;
    }
    if (!inFrame_) continue;
    if (!escaped_ && b == kSlipEsc) {
      escaped_ = true;
      continue;
    }
    const uint8_t value = !escaped_ ? b : b == kSlipEscEnd ? kSlipEnd : b == kSlipEscEsc ? kSlipEsc : b;
    escaped_ = false;
    if (decoded_ == 6) payloadLength_ = value;
    if (decoded_ == 7) payloadLength_ = static_cast<uint16_t>(payloadLength_ | value << 8);
    ++decoded_;
  }
}

size_t FrameLengthTracker::stillToCome() const {
  if (!inFrame_ || decoded_ < kMinPacketLength) return 0;
  const size_t packet = size_t{payloadLength_} + 10;
  if (packet > kPacketBufferSize) return 0;
  return packet > decoded_ ? packet - decoded_ + 1 : 1;  // and the closing END
}

}  // namespace tarvel
