#include "link/SPCOMMA.h"

#include "link/FrameLayer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <system_error>

#include "base/Format.h"
#include "link/PosixSerial.h"

namespace tarvel {
namespace {

using SteadyClock = std::chrono::steady_clock;

int OpenExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void Signal(int eventFd) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(eventFd, &one, sizeof one);
}

void Drain(int eventFd) {
  uint64_t count;
  [[maybe_unused]] const ssize_t n = ::read(eventFd, &count, sizeof count);
}

timespec ToTimespec(SteadyClock::duration d) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  const int64_t positive = ns < 0 ? 0 : ns;
  return timespec{static_cast<time_t>(positive / 1000000000), static_cast<long>(positive % 1000000000)};
}

posix_serial::Parity ToPosix(TParity p) {
  switch (p) {
    case TParity::Odd:
      return posix_serial::Parity::Odd;
    case TParity::Even:
      return posix_serial::Parity::Even;
    case TParity::Mark:
      return posix_serial::Parity::Mark;
    case TParity::Space:
      return posix_serial::Parity::Space;
    case TParity::None:
      break;
  }
  return posix_serial::Parity::None;
}

uint32_t ErrorMask(const posix_serial::ErrorCounts& before, const posix_serial::ErrorCounts& now) {
  uint32_t mask = 0;
  if (now.bufferOverrun != before.bufferOverrun) mask |= kLineErrorBufferOverrun;
  if (now.overrun != before.overrun) mask |= kLineErrorOverrun;
  if (now.parity != before.parity) mask |= kLineErrorParity;
  if (now.frame != before.frame) mask |= kLineErrorFrame;
  if (now.brk != before.brk) mask |= kLineErrorBreak;
  return mask;
}

}  // namespace

std::string DevicePath(const std::string& portName) {
  return portName.find('/') == std::string::npos ? "/dev/" + portName : portName;
}

bool ProbePort(const std::string& devicePath) {
  const int fd = OpenExclusive(devicePath);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

TComm::TComm(EventLoop& loop, std::filesystem::path sysfsRoot)
    : SerialPort(loop), sysfsRoot_(std::move(sysfsRoot)) {}

TComm::~TComm() {
  ClosePort();
}

void TComm::failOpen(const std::string& text) {
  closeHandles();
  throw ECommsError(text);
}

void TComm::OpenPort() {
  if (isOpen()) throw ECommsError(kCommAlreadyOpen);

  fd_ = OpenExclusive(DevicePath(CommName()));
  if (fd_ < 0) throw ECommsError(Format(kCommOpenFailed, CommName()));
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISCHR(st.st_mode)) failOpen(kCommNotCommHandle);
  if (!posix_serial::IsTerminal(fd_)) failOpen(kCommBufferSetupFailed);
  // Keeps out openers that do not take the lock (and are not root).
  ::ioctl(fd_, TIOCEXCL);

  posix_serial::Purge(fd_, true, true);
  sendDataEmpty_ = true;
  hangupPosted_ = false;
  applyLineSettings();
  requestLowLatency();

  closeEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  txWakeup_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (closeEvent_ < 0 || txWakeup_ < 0) failOpen(kCommEventFailed);

  session_ = beginSession();
  try {
    readThread_ = std::thread([this] { readLoop(); });
  } catch (const std::system_error&) {
    endSession();
    failOpen(kCommReadThreadFailed);
  }
  try {
    writeThread_ = std::thread([this] { writeLoop(); });
  } catch (const std::system_error&) {
    endSession();
    stopThreads();
    failOpen(kCommWriteThreadFailed);
  }
}

void TComm::ClosePort() {
  if (!isOpen()) return;
  endSession();
  stopThreads();
  closeHandles();
}

void TComm::stopThreads() {
  if (closeEvent_ >= 0) Signal(closeEvent_);
  posix_serial::Purge(fd_, true, false);
  if (readThread_.joinable()) readThread_.join();
  posix_serial::Purge(fd_, false, true);
  if (writeThread_.joinable()) writeThread_.join();
  std::lock_guard<std::mutex> lock(txMutex_);
  txQueue_.clear();
  sendDataEmpty_ = true;
}

void TComm::closeHandles() {
  if (fd_ >= 0) {
    // TIOCEXCL outlives the descriptor on a pseudo-terminal; clear it so the port can be opened again.
    ::ioctl(fd_, TIOCNXCL);
    // Nothing may be left to drain, or close() would wait for it.
    posix_serial::Purge(fd_, true, true);
    ::close(fd_);
    fd_ = -1;
  }
  for (int* e : {&closeEvent_, &txWakeup_}) {
    if (*e >= 0) ::close(*e);
    *e = -1;
  }
}

void TComm::applyLineSettings() {
  posix_serial::LineSettings s;
  s.baudRate = baudRate_;
  s.dataBits = static_cast<int>(byteSize_) + 5;
  s.parity = ToPosix(parity_);
  // 1.5 stop bits is what a UART gives for "two" at five data bits; there is no separate setting.
  s.twoStopBits = stopBits_ != TStopBits::_1;
  s.parityCheck = parityCheck_;
  s.replaceParityErrors = replaceWhenParityError_;
  // The kernel has one switch for RTS/CTS handshake in both directions.
  s.rtsCtsFlow = outxCtsFlow_ || rtsControl_ == TRtsControl::RtsHandshake;
  s.xonXoffOut = outxXonXoffFlow_;
  s.xonXoffIn = inxXonXoffFlow_;
  s.xonChar = xonChar_;
  s.xoffChar = xoffChar_;
  // The port keeps running with its previous settings if the driver refuses these ones.
  posix_serial::ApplyLineSettings(fd_, s);
  // Handshake modes leave the lines to the driver; there is no DTR handshake or RTS toggle on this
  // platform, so those raise the line.
  posix_serial::SetModemLine(fd_, posix_serial::ModemLine::Dtr, dtrControl_ != TDtrControl::DtrDisable);
  if (rtsControl_ != TRtsControl::RtsHandshake) {
    posix_serial::SetModemLine(fd_, posix_serial::ModemLine::Rts, rtsControl_ != TRtsControl::RtsDisable);
  }
}

void TComm::requestLowLatency() {
  using posix_serial::LowLatency;
  int err = 0;
  const LowLatency serial = posix_serial::RequestLowLatency(fd_, &err);
  std::string problem = serial == LowLatency::Failed ? std::strerror(err) : "";

  // An ftdi_sio port holds replies up to its latency timer; 1 ms is its shortest.
  LowLatency timer = LowLatency::NotApplicable;
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    const auto path = sysfsRoot_ / "dev" / "char" /
                      (std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev))) /
                      "device" / "latency_timer";
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
      int current = -1;
      std::ifstream(path) >> current;
      if (current == 1) {
        timer = LowLatency::Set;
      } else {
        std::ofstream out(path);
        out << "1\n";
        out.flush();
        timer = out ? LowLatency::Set : LowLatency::Failed;
        if (!out) problem = "latency_timer is not writable";
      }
    }
  }

  const bool failed = serial == LowLatency::Failed || timer == LowLatency::Failed;
  const bool done = serial == LowLatency::Set || timer == LowLatency::Set;
  if (failed && !done && !lowLatencyReported_) {
    lowLatencyReported_ = true;
    notice(Format("Low latency could not be set on %s (%s); replies may be delayed", CommName(), problem));
  }
}

bool TComm::SendBytes(std::span<const uint8_t> bytes) {
  if (!isOpen() || bytes.empty()) return false;
  {
    std::lock_guard<std::mutex> lock(txMutex_);
    txQueue_.emplace_back(bytes.begin(), bytes.end());
    sendDataEmpty_ = false;
  }
  Signal(txWakeup_);
  return true;
}

void TComm::postHangupOnce() {
  // Both threads may notice a vanished device; the owner hears of it once.
  if (!hangupPosted_.exchange(true)) postHangup(session_);
}

void TComm::readLoop() {
  std::vector<uint8_t> chunk;
  chunk.reserve(kReadSize);
  uint8_t buffer[kReadSize];
  SteadyClock::time_point readStart = SteadyClock::now(), lastByte{};
  std::optional<posix_serial::ErrorCounts> errors = posix_serial::ReadErrorCounts(fd_);
  if (readAhead_) readAhead_->reset();

  auto deliver = [&] {
    if (chunk.empty()) return;
    postData(session_, std::move(chunk));
    chunk = {};
    chunk.reserve(kReadSize);
    if (errors) {
      if (auto now = posix_serial::ReadErrorCounts(fd_)) {
        if (const uint32_t mask = ErrorMask(*errors, *now)) postLineError(session_, mask);
        errors = now;
      }
    }
  };

  for (;;) {
    // When does the chunk in progress end?
    const uint32_t interval = readIntervalTimeout_;
    const uint64_t total = uint64_t{readTotalTimeoutMultiplier_} * kReadSize + readTotalTimeoutConstant_;
    std::optional<SteadyClock::time_point> deadline;
    if (total != 0) deadline = readStart + std::chrono::milliseconds(total);
    if (!chunk.empty() && interval != 0) {
      // The maximal interval means "return what is there", as soon as anything is.
      const auto silence =
          interval == UINT32_MAX ? std::chrono::milliseconds(0) : std::chrono::milliseconds(interval);
      if (!deadline || lastByte + silence < *deadline) deadline = lastByte + silence;
    }

    pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {fd_, POLLIN, 0}};
    timespec timeout{};
    if (deadline) timeout = ToTimespec(*deadline - SteadyClock::now());
    const int r = ::ppoll(fds, 2, deadline ? &timeout : nullptr, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      deliver();
      postHangupOnce();
      return;
    }
    if (fds[0].revents) return;
    if (r == 0) {
      deliver();
      readStart = SteadyClock::now();
      continue;
    }

    const ssize_t n = ::read(fd_, buffer, kReadSize - chunk.size());
    if (n > 0) {
      if (chunk.empty()) readStart = SteadyClock::now();
      lastByte = SteadyClock::now();
      const int frameEnd = frameEndChar_;
      bool complete = false;
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == 0 && ignoreNullChar_) continue;
        complete = complete || (buffer[i] == frameEnd && !chunk.empty() && chunk.back() != frameEnd);
        chunk.push_back(buffer[i]);
      }
      ++reads_;
      const size_t rest = readAhead_ ? readAhead_->stillToCome(std::span<const uint8_t>(buffer, static_cast<size_t>(n))) : 0;
      if (chunk.size() == kReadSize || complete) {
        deliver();
        readStart = SteadyClock::now();
      }
      // (A full chunk handed over does not end the frame: the rest is still worth sleeping for.)
      if (!complete && rest >= kMinReadAhead && total == 0 && sleepForReadAhead(rest)) return;  // closing
      continue;
    }
    const bool lineGone = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (n < 0 && (errno == EAGAIN || errno == EINTR) && !lineGone) continue;
    // End of file (a hung-up tty) or an I/O error: the device is gone.
    deliver();
    postHangupOnce();
    return;
  }
}

bool TComm::sleepForReadAhead(size_t rest) {
  int there = 0;
  if (::ioctl(fd_, FIONREAD, &there) != 0 || there < 0) there = 0;
  if (static_cast<size_t>(there) >= rest) return false;
  const auto sleep = std::min<SteadyClock::duration>(
      byteTime_ * static_cast<int64_t>(rest - static_cast<size_t>(there)), kMaxReadAheadSleep);
  ++sleeps_;
  pollfd close{closeEvent_, POLLIN, 0};
  const timespec timeout = ToTimespec(sleep);
  return ::ppoll(&close, 1, &timeout, nullptr) > 0;
}

bool TComm::writeAll(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      postHangupOnce();
      return false;
    }
    pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {fd_, POLLOUT, 0}};
    if (::ppoll(fds, 2, nullptr, nullptr) < 0 && errno != EINTR) {
      postHangupOnce();
      return false;
    }
    if (fds[0].revents) return false;
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      postHangupOnce();
      return false;
    }
  }
  return true;
}

void TComm::writeLoop() {
  bool emptyPosted = true;  // nothing written yet, so nothing has run empty
  for (;;) {
    std::vector<uint8_t> frame;
    {
      std::lock_guard<std::mutex> lock(txMutex_);
      if (!txQueue_.empty()) {
        frame = std::move(txQueue_.front());
        txQueue_.pop_front();
      } else {
        sendDataEmpty_ = true;
      }
    }
    if (frame.empty()) {
      if (!emptyPosted) {
        postSendEmpty(session_);
        emptyPosted = true;
      }
      pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {txWakeup_, POLLIN, 0}};
      if (::ppoll(fds, 2, nullptr, nullptr) < 0 && errno != EINTR) {
        postHangupOnce();
        return;
      }
      if (fds[0].revents) return;
      Drain(txWakeup_);
      continue;
    }
    if (!writeAll(frame)) return;
    emptyPosted = false;
  }
}

}  // namespace tarvel

namespace tarvel {

std::unique_ptr<TComm> MakeUnitPort(EventLoop& loop, std::filesystem::path sysfsRoot) {
  auto port = std::make_unique<TComm>(loop, std::move(sysfsRoot));
  port->setBaudRate(1000000);
  port->setParityCheck(false);
  port->setOutx_CtsFlow(false);
  port->setOutx_DsrFlow(false);
  port->setDtrControl(TDtrControl::DtrDisable);
  port->setDsrSensitivity(false);
  port->setTxContinueOnXoff(false);
  // Software flow control would swallow every 0x11 and 0x13 byte of the binary frames.
  port->setOutx_XonXoffFlow(false);
  port->setInx_XonXoffFlow(false);
  port->setReplaceWhenParityError(false);
  port->setIgnoreNullChar(false);
  port->setRtsControl(TRtsControl::RtsDisable);
  port->setXonLimit(500);
  port->setXoffLimit(500);
  port->setByteSize(TByteSize::_8);
  port->setParity(TParity::None);
  port->setStopBits(TStopBits::_2);
  port->setReadIntervalTimeout(3);
  // A reply is stop-and-wait's critical path: hand it over when its closing END arrives, not 3 ms later.
  port->setFrameEndChar(kSlipEnd);
  // While a long reply (a 4 KiB block read back) is on the line, sleep for the time its bytes take
  // (11 us each at 1,000,000 baud with two stop bits; 10 us is the bound) instead of waking for every
  // 60-odd bytes the USB bridge delivers: ten units reading back otherwise cost ten thousand wake-ups a
  // second.
  port->setReadAhead(std::make_unique<FrameReadAhead>(), std::chrono::microseconds(10));
  return port;
}

}  // namespace tarvel
