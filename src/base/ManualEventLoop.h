// An EventLoop for unit tests: posted tasks run when the test drains them, and timers tick only when the
// test advances the clock. Nothing happens by itself, so every test is deterministic.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

#include "base/EventLoop.h"

namespace tarvel {

class ManualEventLoop : public EventLoop {
 public:
  void post(Task task) override;
  TimerId addTimer(std::chrono::milliseconds interval, Task onTick) override;
  void setTimerEnabled(TimerId id, bool enabled) override;
  bool timerEnabled(TimerId id) const override;
  void removeTimer(TimerId id) override;
  // Drains the posted tasks (including those they post) until none is left or quit() was called.
  void run() override;
  void quit() override { quitRequested_ = true; }

  // Runs every task posted so far, and those they post; returns how many ran.
  size_t runPending();
  // Moves the clock forward by `elapsed`, firing due timer ticks in time order (ties in the order the
  // timers were added) and draining posted tasks after each tick.
  void advance(std::chrono::milliseconds elapsed);

  std::chrono::milliseconds now() const { return std::chrono::milliseconds(nowMs_); }
  bool quitRequested() const { return quitRequested_; }
  size_t pendingCount() const;

 private:
  struct Timer {
    int64_t intervalMs;
    int64_t dueMs;
    bool enabled;
    Task onTick;
  };

  mutable std::mutex mutex_;  // guards queue_ only: post() may come from any thread
  std::deque<Task> queue_;
  std::map<TimerId, Timer> timers_;
  TimerId nextTimerId_ = 1;
  int64_t nowMs_ = 0;
  bool quitRequested_ = false;
};

}  // namespace tarvel
