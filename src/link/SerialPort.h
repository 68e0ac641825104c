// What the rest of the program sees of a serial port: open and close it, queue frames, and receive its
// events on the loop thread. TComm (SPCOMMA.h) is the real one; FakeSerialPort lets tests play the unit.
//
// Events are posted by the port's threads and run on the loop thread in the order they were posted.
// Every open starts a new session: events still queued from an earlier session (or posted after
// ClosePort) are dropped on delivery, so a closed or reopened port never sees stale data or a second
// hang-up request, and a destroyed port is never called back.
#pragma once

#include <cstdint>
#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/EventLoop.h"

namespace tarvel {

// An open failure; what() is the text shown to the user.
class ECommsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The open failures' texts, byte for byte ("%s" is the CommName).
constexpr const char* kCommAlreadyOpen = "This serial port already opened";
constexpr const char* kCommOpenFailed = "Error opening serial port:%s";
constexpr const char* kCommNotCommHandle = "File handle is not a comm handle ";
constexpr const char* kCommBufferSetupFailed = "Cannot setup comm buffer";
constexpr const char* kCommEventFailed = "Unable to create event";
constexpr const char* kCommReadThreadFailed = "Unable to create read thread";
constexpr const char* kCommWriteThreadFailed = "Unable to create write thread";

// Flags of OnReceiveError, as the port's error word reports them.
constexpr uint32_t kLineErrorBufferOverrun = 0x01;  // input queue full, bytes lost
constexpr uint32_t kLineErrorOverrun = 0x02;        // the UART lost bytes
constexpr uint32_t kLineErrorParity = 0x04;
constexpr uint32_t kLineErrorFrame = 0x08;
constexpr uint32_t kLineErrorBreak = 0x10;

class SerialPort {
 public:
  // The bytes are valid only during the call.
  using ReceiveDataEvent = std::function<void(std::span<const uint8_t> bytes)>;
  using ReceiveErrorEvent = std::function<void(uint32_t eventMask)>;
  using NotifyEvent = std::function<void()>;
  using NoticeEvent = std::function<void(const std::string& text)>;

  explicit SerialPort(EventLoop& loop);
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Throws ECommsError; the port is then closed (or, for "already opened", still open).
  virtual void OpenPort() = 0;
  // Stops the port's threads and closes it; harmless on a closed port.
  virtual void ClosePort() = 0;
  // Queues a copy of the bytes; false (nothing queued) when the port is closed or `bytes` is empty.
  virtual bool SendBytes(std::span<const uint8_t> bytes) = 0;
  virtual bool isOpen() const = 0;

  // The device; takes effect at the next OpenPort.
  const std::string& CommName() const { return commName_; }
  void setCommName(std::string name) { commName_ = std::move(name); }

  void setOnReceiveData(ReceiveDataEvent e) { onReceiveData_ = std::move(e); }
  void setOnReceiveError(ReceiveErrorEvent e) { onReceiveError_ = std::move(e); }
  // A thread met an error it cannot recover from (the device went away); the owner should ClosePort.
  void setOnRequestHangup(NotifyEvent e) { onRequestHangup_ = std::move(e); }
  // Everything queued has been written. Without a handler the event is not even posted: a wake-up of
  // the loop per frame sent is not free with ten busy ports.
  void setOnSendDataEmpty(NotifyEvent e) {
    sendEmptyWanted_ = static_cast<bool>(e);
    onSendDataEmpty_ = std::move(e);
  }
  // A remark for the information panel; called on the loop thread from within OpenPort.
  void setOnNotice(NoticeEvent e) { onNotice_ = std::move(e); }

 protected:
  using Session = uint64_t;

  // Loop thread: a new session begins at every successful open and ends at close.
  Session beginSession();
  void endSession();

  // Any thread.
  void postData(Session s, std::vector<uint8_t> bytes);
  void postLineError(Session s, uint32_t eventMask);
  void postHangup(Session s);
  void postSendEmpty(Session s);

  void notice(const std::string& text) {
    if (onNotice_) onNotice_(text);
  }

 private:
  struct Sink {
    SerialPort* port;
  };
  template <class F>
  void postToLoop(Session s, F deliver);

  EventLoop& loop_;
  std::shared_ptr<Sink> sink_;
  Session session_ = 0;  // loop thread only
  bool sessionLive_ = false;
  std::string commName_ = "COM2";
  ReceiveDataEvent onReceiveData_;
  ReceiveErrorEvent onReceiveError_;
  NotifyEvent onRequestHangup_;
  NotifyEvent onSendDataEmpty_;
  std::atomic<bool> sendEmptyWanted_{false};  // read by the transmit thread
  NoticeEvent onNotice_;
};

// A port without a device. Tests open it, feed it the unit's bytes, look at the frames the host sent
// and raise line errors and hang-ups; everything arrives through the event loop as from a real port.
class FakeSerialPort : public SerialPort {
 public:
  using SerialPort::SerialPort;

  void OpenPort() override;
  void ClosePort() override;
  bool SendBytes(std::span<const uint8_t> bytes) override;
  bool isOpen() const override { return open_; }

  // While set, OpenPort fails as for a missing or busy device.
  void setOpenFails(bool fails) { openFails_ = fails; }
  int openCount() const { return openCount_; }

  // The unit's side. Ignored while the port is closed, as a real port purges at open.
  void feed(std::span<const uint8_t> bytes);
  void raiseLineError(uint32_t eventMask);
  void requestHangup();

  // Every SendBytes that was accepted, in order, one entry per call.
  const std::vector<std::vector<uint8_t>>& sent() const { return sent_; }
  std::vector<std::vector<uint8_t>> takeSent() { return std::exchange(sent_, {}); }

 private:
  bool open_ = false;
  bool openFails_ = false;
  int openCount_ = 0;
  Session session_ = 0;
  std::vector<std::vector<uint8_t>> sent_;
};

}  // namespace tarvel
