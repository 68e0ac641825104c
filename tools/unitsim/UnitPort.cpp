#include "unitsim/UnitPort.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "link/FrameLayer.h"
#include "link/PosixSerial.h"

namespace tarvel::unitsim {
namespace {

// What a unit keeps for a host that does not read; beyond it, frames are lost as on an open line.
constexpr size_t kMaxQueuedBytes = 256 * 1024;
// With --wire-speed, bytes are handed over about once a millisecond, as a USB bridge does.
constexpr size_t kWireSlice = 91;
// Longer than the host's 3 ms read interval, so the pieces of a split frame arrive as separate chunks.
constexpr std::chrono::milliseconds kSplitPause{5};
constexpr size_t kMaxNoise = 24;
// Bytes written to the terminal take a moment to reach the slave's input queue.
constexpr std::chrono::milliseconds kSettleTime{20};
// A host that does not read is not waited for longer than this.
constexpr std::chrono::seconds kHangUpPatience{2};

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

UnitPort::UnitPort(UnitSettings settings, CommandLog* log)
    : wireSpeed_(settings.wireSpeed),
      garbage_(settings.garbage),
      unit_(std::move(settings), *this, log),
      random_(static_cast<uint32_t>(unit_.settings().number) * 31u + 17u) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) throw SystemError("no pseudo-terminal");
  char name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
    const auto e = SystemError("cannot set up a pseudo-terminal");
    ::close(master_);
    throw e;
  }
  path_ = name;
  keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  stopEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (keeper_ < 0 || stopEvent_ < 0) {
    const auto e = SystemError("cannot open " + path_);
    CloseTerminal();
    if (stopEvent_ >= 0) ::close(stopEvent_);
    throw e;
  }
  posix_serial::ApplyLineSettings(keeper_, posix_serial::LineSettings{});
}

UnitPort::~UnitPort() {
  Stop();
  CloseTerminal();
  ::close(stopEvent_);
}

void UnitPort::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void UnitPort::Stop() {
  if (!thread_.joinable()) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(stopEvent_, &one, sizeof one);
  thread_.join();
}

void UnitPort::CloseTerminal() {
  for (int* fd : {&master_, &keeper_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  tx_.clear();
  txQueued_ = 0;
  arrivals_.clear();
}

void UnitPort::SendFrame(std::span<const uint8_t> frame) {
  if (master_ < 0 || hangUpPending_ || txQueued_ + frame.size() + kMaxNoise > kMaxQueuedBytes) return;
  const auto now = Clock::now();
  auto queue = [&](std::span<const uint8_t> bytes, Clock::time_point notBefore) {
    tx_.push_back({std::vector<uint8_t>(bytes.begin(), bytes.end()), 0, notBefore});
    txQueued_ += bytes.size();
  };
  if (!garbage_) {
    queue(frame, now);
    return;
  }
  // Line noise between frames: anything but the END that would open a frame.
  std::vector<uint8_t> noise(1 + random_.byte() % kMaxNoise);
  for (auto& b : noise) {
    b = random_.byte();
    if (b == kSlipEnd) b = 0x3C;
  }
  queue(noise, now);
  // The frame in up to three pieces, each in a chunk of its own.
  std::vector<size_t> cuts;
  const size_t pieces = 1 + random_.byte() % 3;
  for (size_t i = 1; i < pieces && frame.size() > 2; ++i)
    cuts.push_back(1 + random_.word16() % (frame.size() - 1));
  cuts.push_back(frame.size());
  std::sort(cuts.begin(), cuts.end());
  size_t from = 0;
  auto at = now;
  for (size_t cut : cuts) {
    if (cut <= from) continue;
    queue(frame.subspan(from, cut - from), at);
    from = cut;
    at += kSplitPause;
  }
}

void UnitPort::HangUp() {
  hangUpPending_ = true;
}

bool UnitPort::WriteDue(Clock::time_point now) {
  while (!tx_.empty()) {
    Segment& s = tx_.front();
    if (s.notBefore > now) return false;
    size_t n = s.bytes.size() - s.sent;
    const auto lineStart = std::max(txLineFree_, s.notBefore);
    if (wireSpeed_) {
      if (now < lineStart + kByteTime) return false;
      n = std::min<size_t>(n, static_cast<size_t>((now - lineStart) / kByteTime));
    }
    const ssize_t w = ::write(master_, s.bytes.data() + s.sent, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return true;
      tx_.clear();  // the terminal is gone
      txQueued_ = 0;
      return false;
    }
    const size_t written = static_cast<size_t>(w);
    traffic_.sent += written;
    lastWrite_ = now;
    if (wireSpeed_) txLineFree_ = lineStart + static_cast<int64_t>(written) * kByteTime;
    s.sent += written;
    txQueued_ -= written;
    if (s.sent == s.bytes.size()) {
      tx_.pop_front();
    } else if (written < n) {
      return true;
    }
  }
  return false;
}

bool UnitPort::ReadyToHangUp(Clock::time_point now) const {
  if (!tx_.empty() || now < lastWrite_ + kSettleTime) return false;
  int pending = 0;
  return ::ioctl(keeper_, FIONREAD, &pending) != 0 || pending == 0 || now > lastWrite_ + kHangUpPatience;
}

void UnitPort::ReadAvailable(Clock::time_point now) {
  uint8_t buffer[16384];
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    traffic_.received += static_cast<uint64_t>(n);
    Arrival a{std::vector<uint8_t>(buffer, buffer + n), now};
    if (wireSpeed_) {
      rxLineFree_ = std::max(rxLineFree_, now) + n * kByteTime;
      a.at = rxLineFree_;
    }
    arrivals_.push_back(std::move(a));
  }
}

UnitPort::Clock::time_point UnitPort::NextWake(bool withOutput) const {
  auto wake = Clock::time_point::max();
  if (!arrivals_.empty()) wake = std::min(wake, arrivals_.front().at);
  if (const auto next = unit_.NextEvent()) wake = std::min(wake, *next);
  if (withOutput && !tx_.empty()) {
    const Segment& s = tx_.front();
    auto due = s.notBefore;
    if (wireSpeed_) {
      const size_t slice = std::min(kWireSlice, s.bytes.size() - s.sent);
      due = std::max(txLineFree_, s.notBefore) + static_cast<int64_t>(slice) * kByteTime;
    }
    wake = std::min(wake, due);
  }
  return wake;
}

void UnitPort::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const auto now = Clock::now();
    while (!arrivals_.empty() && arrivals_.front().at <= now) {
      const Arrival a = std::move(arrivals_.front());
      arrivals_.pop_front();
      unit_.Receive(a.bytes, now);
    }
    unit_.Poll(now);
    const bool full = master_ >= 0 && WriteDue(now);
    if (hangUpPending_ && master_ >= 0 && ReadyToHangUp(now)) CloseTerminal();

    const bool quiet = now < quietUntil_;
    auto wake = NextWake(!full);
    if (quiet) wake = std::min(wake, quietUntil_);
    if (hangUpPending_ && master_ >= 0) wake = std::min(wake, now + std::chrono::milliseconds(5));
    timespec timeout{};
    const bool timed = wake != Clock::time_point::max();
    if (timed) {
      const auto ns =
          std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count());
      timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    }
    // A closed terminal (-1) is left out by poll.
    pollfd fds[2] = {{stopEvent_, POLLIN, 0},
                     {quiet ? -1 : master_, static_cast<short>(POLLIN | (full ? POLLOUT : 0)), 0}};
    lock.unlock();
    const int r = ::ppoll(fds, 2, timed ? &timeout : nullptr, nullptr);
    lock.lock();
    if (r < 0 && errno != EINTR) return;
    if (fds[0].revents) return;
    if (master_ < 0 || quiet) continue;
    if (fds[1].revents & POLLIN) ReadAvailable(Clock::now());
    // Without a slave descriptor a terminal reports a hang-up until one is opened; the unit keeps one,
    // so this is not expected, but it must not turn into a busy loop.
    if (fds[1].revents & (POLLHUP | POLLERR)) {
      quietUntil_ = Clock::now() + std::chrono::milliseconds(10);
    }
  }
}

}  // namespace tarvel::unitsim
