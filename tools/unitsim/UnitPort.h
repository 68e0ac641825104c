// A simulated unit on a pseudo-terminal: the host opens the slave device as it would a unit's USB serial
// port, the unit works on the master side in a thread of its own.
//
// The unit keeps a descriptor of the slave open itself, so the terminal survives the host closing and
// reopening the port (as a plugged-in unit stays), and sets it raw at once, so nothing the unit sends
// before the host opens the port is echoed back to it. Bytes the unit sends while the port is closed wait
// in the terminal until the host's open purges them, as they would in a USB bridge.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/RandomSource.h"
#include "unitsim/SimulatedUnit.h"

namespace tarvel::unitsim {

class UnitPort : public UnitLine {
 public:
  // Opens the pseudo-terminal; throws std::runtime_error when the system has none to give.
  UnitPort(UnitSettings settings, CommandLog* log);
  ~UnitPort() override;
  UnitPort(const UnitPort&) = delete;
  UnitPort& operator=(const UnitPort&) = delete;

  // The device the host opens.
  const std::string& path() const { return path_; }

  void Start();
  // Stops the unit's thread; what the unit holds stays readable.
  void Stop();

  // Runs `f` on the unit while its thread is held off.
  template <class F>
  auto Inspect(F f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(static_cast<const SimulatedUnit&>(unit_));
  }

  // UnitLine, called by the unit on its thread.
  // Bytes through the line so far, noise included.
  struct Traffic {
    uint64_t received = 0;
    uint64_t sent = 0;
  };
  Traffic traffic() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return traffic_;
  }

  void SendFrame(std::span<const uint8_t> frame) override;
  void HangUp() override;

 private:
  using Clock = SimClock;
  struct Segment {
    std::vector<uint8_t> bytes;
    size_t sent = 0;
    Clock::time_point notBefore;
  };
  struct Arrival {
    std::vector<uint8_t> bytes;
    Clock::time_point at;  // when the last byte is through the line
  };

  void Run();
  void ReadAvailable(Clock::time_point now);
  // Writes what is due; returns whether the terminal is full and the rest must wait for room.
  bool WriteDue(Clock::time_point now);
  void CloseTerminal();
  // A pending hang-up waits until the host has taken what the unit sent: closing the terminal discards
  // what is still in it, and an unplugged unit's last reply did reach the host.
  bool ReadyToHangUp(Clock::time_point now) const;
  // The next thing to do by time; the queued output only when the terminal has room for it.
  Clock::time_point NextWake(bool withOutput) const;

  const bool wireSpeed_;
  const bool garbage_;
  int master_ = -1;
  int keeper_ = -1;
  int stopEvent_ = -1;
  std::string path_;
  std::thread thread_;

  mutable std::mutex mutex_;  // the unit and everything below, against Inspect
  SimulatedUnit unit_;
  RandomSource random_;
  std::deque<Arrival> arrivals_;
  Clock::time_point rxLineFree_{};
  std::deque<Segment> tx_;
  size_t txQueued_ = 0;
  Clock::time_point txLineFree_{};
  bool hangUpPending_ = false;
  Clock::time_point lastWrite_{};
  Traffic traffic_;
  Clock::time_point quietUntil_{};  // after a hang-up of the terminal itself, look again later
};

// The time one byte takes on the wire: 1,000,000 baud with 8N2 is 11 bits per byte.
constexpr std::chrono::nanoseconds kByteTime{11000};

}  // namespace tarvel::unitsim
