// TComm: the serial component on POSIX termios. It owns one port, a receive thread and a transmit thread;
// the threads never call the owner, they post every event to the loop thread (SerialPort).
//
// Open: exclusive (O_NOCTTY, flock and TIOCEXCL: root ignores TIOCEXCL, the lock holds for everyone),
// raw, both directions purged so that bytes a unit sent while the port was closed are not taken for a
// reply, and low latency requested (a USB bridge that holds short replies back costs every block of a
// stop-and-wait protocol).
//
// Receive: a chunk (at most kReadSize bytes) is delivered once the line has been silent for
// ReadIntervalTimeout ms after at least one byte. The chunk also ends when it is full, and, if the total
// read timeout is set, when that time since the read began has passed. A read that ends without bytes
// delivers nothing.
//
// Transmit: frames are written completely, one after another, in call order. The write timeouts are
// kept as properties only: the transmit thread goes on after a partial write until all bytes are out, so
// they would change nothing.
//
// Close: both threads wait on the close event in every blocking call, so ClosePort returns promptly
// even when a write is stuck or the device has gone; pending output is discarded so that the close
// does not wait for it to drain.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "link/FrameLayer.h"
#include "link/SerialPort.h"

namespace tarvel {

enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };
enum class TByteSize { _5, _6, _7, _8 };
enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };

// A port name as a device path: a name without '/' is a device in /dev.
std::string DevicePath(const std::string& portName);

// Whether the device can be opened exclusively now (it exists and no one holds it). Closes it at once.
bool ProbePort(const std::string& devicePath);

class TComm : public SerialPort {
 public:
  static constexpr size_t kReadSize = 2048;

  // `sysfsRoot` is where the device's attributes are looked up (the ftdi latency timer).
  explicit TComm(EventLoop& loop, std::filesystem::path sysfsRoot = "/sys");
  ~TComm() override;

  void OpenPort() override;
  void ClosePort() override;
  bool SendBytes(std::span<const uint8_t> bytes) override;
  bool isOpen() const override { return fd_ >= 0; }
  // True while nothing is queued for the transmit thread.
  bool sendDataEmpty() const { return sendDataEmpty_; }

  // Properties with the component's defaults. Setting a property to its present value does nothing;
  // otherwise line settings and time-outs apply to an open port at once. Outx_DsrFlow, DsrSensitivity,
  // TxContinueOnXoff and the XON/XOFF limits have no counterpart in termios and are kept as values only.
  uint32_t BaudRate() const { return baudRate_; }
  void setBaudRate(uint32_t v) { setLine(baudRate_, v); }
  bool ParityCheck() const { return parityCheck_; }
  void setParityCheck(bool v) { setLine(parityCheck_, v); }
  bool Outx_CtsFlow() const { return outxCtsFlow_; }
  void setOutx_CtsFlow(bool v) { setLine(outxCtsFlow_, v); }
  bool Outx_DsrFlow() const { return outxDsrFlow_; }
  void setOutx_DsrFlow(bool v) { setLine(outxDsrFlow_, v); }
  TDtrControl DtrControl() const { return dtrControl_; }
  void setDtrControl(TDtrControl v) { setLine(dtrControl_, v); }
  bool DsrSensitivity() const { return dsrSensitivity_; }
  void setDsrSensitivity(bool v) { setLine(dsrSensitivity_, v); }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void setTxContinueOnXoff(bool v) { setLine(txContinueOnXoff_, v); }
  bool Outx_XonXoffFlow() const { return outxXonXoffFlow_; }
  void setOutx_XonXoffFlow(bool v) { setLine(outxXonXoffFlow_, v); }
  bool Inx_XonXoffFlow() const { return inxXonXoffFlow_; }
  void setInx_XonXoffFlow(bool v) { setLine(inxXonXoffFlow_, v); }
  bool ReplaceWhenParityError() const { return replaceWhenParityError_; }
  void setReplaceWhenParityError(bool v) { setLine(replaceWhenParityError_, v); }
  bool IgnoreNullChar() const { return ignoreNullChar_; }
  void setIgnoreNullChar(bool v) { ignoreNullChar_ = v; }
  TRtsControl RtsControl() const { return rtsControl_; }
  void setRtsControl(TRtsControl v) { setLine(rtsControl_, v); }
  uint16_t XonLimit() const { return xonLimit_; }
  void setXonLimit(uint16_t v) { setLine(xonLimit_, v); }
  uint16_t XoffLimit() const { return xoffLimit_; }
  void setXoffLimit(uint16_t v) { setLine(xoffLimit_, v); }
  TByteSize ByteSize() const { return byteSize_; }
  void setByteSize(TByteSize v) { setLine(byteSize_, v); }
  TParity Parity() const { return parity_; }
  void setParity(TParity v) { setLine(parity_, v); }
  TStopBits StopBits() const { return stopBits_; }
  void setStopBits(TStopBits v) { setLine(stopBits_, v); }
  uint8_t XonChar() const { return xonChar_; }
  void setXonChar(uint8_t v) { setLine(xonChar_, v); }
  uint8_t XoffChar() const { return xoffChar_; }
  void setXoffChar(uint8_t v) { setLine(xoffChar_, v); }
  // Only 0x00 can replace a byte with a parity error on this platform.
  uint8_t ReplacedChar() const { return replacedChar_; }
  void setReplacedChar(uint8_t v) { setLine(replacedChar_, v); }

  uint32_t ReadIntervalTimeout() const { return readIntervalTimeout_; }
  void setReadIntervalTimeout(uint32_t v) { readIntervalTimeout_ = v; }
  // A read also returns at once when a byte of this value arrives after other data, such as the byte
  // that closes a frame: the reply is complete, and waiting out the interval would only delay it. -1: off.
  int FrameEndChar() const { return frameEndChar_; }
  void setFrameEndChar(int v) { frameEndChar_ = v; }
  // Read-ahead: told every byte read, it says how many more bytes the data in progress needs at least
  // (0: none, or unknown). When that is many and they are not there yet, the receive thread sleeps for
  // the time they take on the line (byteTime each, at most kMaxReadAheadSleep at once) instead of waking
  // for every piece the device hands over; a read that knows nothing waits as before. Set it before
  // OpenPort; it is reset at every open.
  class ReadAhead {
   public:
    virtual ~ReadAhead() = default;
    virtual void reset() = 0;
    virtual size_t stillToCome(std::span<const uint8_t> justRead) = 0;
  };
  static constexpr size_t kMinReadAhead = 256;
  static constexpr std::chrono::milliseconds kMaxReadAheadSleep{20};
  void setReadAhead(std::unique_ptr<ReadAhead> readAhead, std::chrono::nanoseconds byteTime) {
    readAhead_ = std::move(readAhead);
    byteTime_ = byteTime;
  }
  // What the receive thread did since the port was created: reads that returned bytes, and sleeps taken
  // on the read-ahead's word.
  struct ReadCounts {
    uint64_t reads = 0;
    uint64_t sleeps = 0;
  };
  ReadCounts readCounts() const { return {reads_.load(), sleeps_.load()}; }

  uint32_t ReadTotalTimeoutMultiplier() const { return readTotalTimeoutMultiplier_; }
  void setReadTotalTimeoutMultiplier(uint32_t v) { readTotalTimeoutMultiplier_ = v; }
  uint32_t ReadTotalTimeoutConstant() const { return readTotalTimeoutConstant_; }
  void setReadTotalTimeoutConstant(uint32_t v) { readTotalTimeoutConstant_ = v; }
  uint32_t WriteTotalTimeoutMultiplier() const { return writeTotalTimeoutMultiplier_; }
  void setWriteTotalTimeoutMultiplier(uint32_t v) { writeTotalTimeoutMultiplier_ = v; }
  uint32_t WriteTotalTimeoutConstant() const { return writeTotalTimeoutConstant_; }
  void setWriteTotalTimeoutConstant(uint32_t v) { writeTotalTimeoutConstant_ = v; }

 private:
  template <class T>
  void setLine(T& field, T value) {
    if (field == value) return;
    field = value;
    if (isOpen()) applyLineSettings();
  }
  void applyLineSettings();
  void requestLowLatency();
  [[noreturn]] void failOpen(const std::string& text);
  void stopThreads();
  void closeHandles();
  void postHangupOnce();
  void readLoop();
  void writeLoop();
  bool writeAll(const std::vector<uint8_t>& bytes);
  // Sleeps until `rest` bytes can have arrived unless they are there; true when the port is closing.
  bool sleepForReadAhead(size_t rest);

  const std::filesystem::path sysfsRoot_;
  bool lowLatencyReported_ = false;

  uint32_t baudRate_ = 9600;
  bool parityCheck_ = false;
  bool outxCtsFlow_ = false;
  bool outxDsrFlow_ = false;
  TDtrControl dtrControl_ = TDtrControl::DtrEnable;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = true;
  bool outxXonXoffFlow_ = true;
  bool inxXonXoffFlow_ = true;
  bool replaceWhenParityError_ = false;
  std::atomic<bool> ignoreNullChar_{false};  // applied by the receive thread
  TRtsControl rtsControl_ = TRtsControl::RtsEnable;
  uint16_t xonLimit_ = 500;
  uint16_t xoffLimit_ = 500;
  TByteSize byteSize_ = TByteSize::_8;
  TParity parity_ = TParity::None;
  TStopBits stopBits_ = TStopBits::_1;
  uint8_t xonChar_ = 0x11;
  uint8_t xoffChar_ = 0x13;
  uint8_t replacedChar_ = 0x00;
  // Read by the receive thread at every read, so a change applies at once.
  std::atomic<uint32_t> readIntervalTimeout_{100};
  std::atomic<int> frameEndChar_{-1};
  std::atomic<uint32_t> readTotalTimeoutMultiplier_{0};
  std::atomic<uint32_t> readTotalTimeoutConstant_{0};
  uint32_t writeTotalTimeoutMultiplier_ = 0;
  uint32_t writeTotalTimeoutConstant_ = 0;
  // Used by the receive thread only while the port is open.
  std::unique_ptr<ReadAhead> readAhead_;
  std::chrono::nanoseconds byteTime_{0};
  std::atomic<uint64_t> reads_{0};
  std::atomic<uint64_t> sleeps_{0};

  // Set while open; constant for the life of the threads.
  int fd_ = -1;
  int closeEvent_ = -1;  // eventfd, signalled once to stop both threads
  int txWakeup_ = -1;    // eventfd, signalled when a frame is queued
  Session session_ = 0;
  std::thread readThread_;
  std::thread writeThread_;

  std::mutex txMutex_;  // guards txQueue_ and the writes of sendDataEmpty_
  std::deque<std::vector<uint8_t>> txQueue_;
  std::atomic<bool> sendDataEmpty_{true};
  std::atomic<bool> hangupPosted_{false};
};

}  // namespace tarvel

namespace tarvel {

// The read-ahead of a unit's port: the frame layer knows how long the reply in progress is.
class FrameReadAhead : public TComm::ReadAhead {
 public:
  void reset() override { tracker_.reset(); }
  size_t stillToCome(std::span<const uint8_t> justRead) override {
    tracker_.feed(justRead);
    return tracker_.stillToCome();
  }

 private:
  FrameLengthTracker tracker_;
};

// A serial component set up as every programmer unit's port is: 1,000,000 baud, 8N2, no hardware or
// software flow control, DTR and RTS off, reads returning after 3 ms of line silence or at a frame's
// closing END, and the frame read-ahead.
std::unique_ptr<TComm> MakeUnitPort(EventLoop& loop, std::filesystem::path sysfsRoot = "/sys");

}  // namespace tarvel
