#include "link/SerialPort.h"

#include "base/Format.h"

namespace tarvel {

SerialPort::SerialPort(EventLoop& loop) : loop_(loop), sink_(std::make_shared<Sink>(Sink{this})) {}

SerialPort::~SerialPort() = default;

SerialPort::Session SerialPort::beginSession() {
  sessionLive_ = true;
  return ++session_;
}

void SerialPort::endSession() {
  sessionLive_ = false;
}

template <class F>
void SerialPort::postToLoop(Session s, F deliver) {
  // The weak pointer keeps a task that outlives the port from touching it.
  loop_.post([weak = std::weak_ptr<Sink>(sink_), s, deliver = std::move(deliver)]() mutable {
    const auto sink = weak.lock();
    if (!sink) return;
    SerialPort& port = *sink->port;
    if (!port.sessionLive_ || port.session_ != s) return;
    deliver(port);
  });
}

void SerialPort::postData(Session s, std::vector<uint8_t> bytes) {
  postToLoop(s, [bytes = std::move(bytes)](SerialPort& port) {
    if (port.onReceiveData_) port.onReceiveData_(bytes);
  });
}

void SerialPort::postLineError(Session s, uint32_t eventMask) {
  postToLoop(s, [eventMask](SerialPort& port) {
    if (port.onReceiveError_) port.onReceiveError_(eventMask);
  });
}

void SerialPort::postHangup(Session s) {
  postToLoop(s, [](SerialPort& port) {
    if (port.onRequestHangup_) port.onRequestHangup_();
  });
}

void SerialPort::postSendEmpty(Session s) {
  if (!sendEmptyWanted_) return;
  postToLoop(s, [](SerialPort& port) {
    if (port.onSendDataEmpty_) port.onSendDataEmpty_();
  });
}

void FakeSerialPort::OpenPort() {
  if (open_) throw ECommsError(kCommAlreadyOpen);
  if (openFails_) throw ECommsError(Format(kCommOpenFailed, CommName()));
  open_ = true;
  ++openCount_;
  session_ = beginSession();
}

void FakeSerialPort::ClosePort() {
  if (!open_) return;
  open_ = false;
  endSession();
}

bool FakeSerialPort::SendBytes(std::span<const uint8_t> bytes) {
  if (!open_ || bytes.empty()) return false;
  sent_.emplace_back(bytes.begin(), bytes.end());
  postSendEmpty(session_);
  return true;
}

void FakeSerialPort::feed(std::span<const uint8_t> bytes) {
  if (open_ && !bytes.empty()) postData(session_, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void FakeSerialPort::raiseLineError(uint32_t eventMask) {
  if (open_) postLineError(session_, eventMask);
}

void FakeSerialPort::requestHangup() {
  if (open_) postHangup(session_);
}

}  // namespace tarvel
