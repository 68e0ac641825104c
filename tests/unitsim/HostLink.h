// The host's end of one unit, as the host builds it: TComm on the unit's device, the channel's receive
// path, packets from LinkPacket. Tests send a packet and take the unit's next frame, decoded.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/ManualEventLoop.h"
#include "link/FrameLayer.h"
#include "link/LinkPacket.h"
#include "link/SPCOMMA.h"

namespace tarvel::test {

using Bytes = std::vector<uint8_t>;

class HostLink {
 public:
  explicit HostLink(const std::string& device) {
    port_.setCommName(device);
    port_.setBaudRate(1000000);
    port_.setDtrControl(TDtrControl::DtrDisable);
    port_.setRtsControl(TRtsControl::RtsDisable);
    port_.setOutx_XonXoffFlow(false);
    port_.setInx_XonXoffFlow(false);
    port_.setStopBits(TStopBits::_2);
    port_.setReadIntervalTimeout(3);
    port_.setOnReceiveData([this](std::span<const uint8_t> b) {
      received_ += b.size();
      ++chunks_;
      link_->ReceiveData(b);
    });
    port_.setOnRequestHangup([this] {
      hungUp_ = true;
      port_.ClosePort();
    });
    link_->setFrameHandler([this](std::span<const uint8_t> f) { frames_.emplace_back(f.begin(), f.end()); });
    port_.OpenPort();
  }

  // The build area of outgoing packets.
  PacketSpan packet() { return link_->packetBuffer; }

  // Sends the first `length` bytes of packet() as a frame.
  void Send(size_t length) {
    const size_t n = link_->EncodePacket(length);
    ASSERT_TRUE(port_.SendBytes(std::span<const uint8_t>(link_->txBuffer.data(), n)));
  }
  void SendRaw(std::span<const uint8_t> bytes) { ASSERT_TRUE(port_.SendBytes(bytes)); }

  // The next frame from the unit, decoded; empty after 10 s without one (a hang guard, not a timing
  // requirement) or when it does not decode.
  Bytes Next() {
    if (!RunUntil([this] { return !frames_.empty(); }, std::chrono::seconds(10))) {
      ADD_FAILURE() << "no frame from the unit";
      return {};
    }
    const Bytes frame = std::move(frames_.front());
    frames_.pop_front();
    frameBytes_ += frame.size();
    const DecodedFrame d = link_->Decode(frame);
    if (d.status != kFrameGood) {
      ADD_FAILURE() << "a frame that does not decode";
      return {};
    }
    return Bytes(link_->packetBuffer.begin(), link_->packetBuffer.begin() + static_cast<ptrdiff_t>(d.length));
  }
  Bytes Request(size_t length) {
    Send(length);
    return Next();
  }
  // The status of the reply to a packet, by the host's reply check.
  uint8_t StatusOf(size_t length) {
    const Bytes reply = Request(length);
    return reply.empty() ? 0xFF : CheckReply(reply);
  }

  // True when nothing arrives for a while.
  bool Quiet(std::chrono::milliseconds wait = std::chrono::milliseconds(300)) {
    RunUntil([] { return false; }, wait);
    return frames_.empty();
  }
  bool WaitForHangup() {
    return RunUntil([this] { return hungUp_; }, std::chrono::seconds(10));
  }

  size_t receivedBytes() const { return received_; }
  size_t receivedChunks() const { return chunks_; }
  size_t frameBytesTaken() const { return frameBytes_; }
  TComm& port() { return port_; }

 private:
  template <class Done>
  bool RunUntil(Done done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      loop_.runPending();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  ManualEventLoop loop_;
  TComm port_{loop_};
  uint16_t countdown_ = 0;
  std::unique_ptr<ChannelLink> link_ = std::make_unique<ChannelLink>(countdown_);
  std::deque<Bytes> frames_;
  bool hungUp_ = false;
  size_t received_ = 0;
  size_t chunks_ = 0;
  size_t frameBytes_ = 0;
};

}  // namespace tarvel::test
