// The headless EventLoop of tarvelctl and the end-to-end tests: one thread blocks in ppoll() on an
// eventfd, so a post() from a serial thread wakes it at once, and timers are kept on the monotonic clock.
//
// Timer ticks stay on their grid (due times advance by whole intervals), so a 10 ms timer does not drift
// however long its handlers take; ticks missed while the loop was busy are skipped, not fired in a burst.
//
// run() may be nested (a task may run the loop again, as a modal dialog does); quit() ends the innermost
// run(). quit() may be called from any thread; a quit() that comes before run() makes it return at once.
// An exception thrown by a task or tick leaves run() with the loop intact, so the caller may report it
// and call run() again.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>

#include "base/EventLoop.h"

namespace tarvel {

class PollEventLoop : public EventLoop {
 public:
  using Clock = std::chrono::steady_clock;

  PollEventLoop();
  ~PollEventLoop() override;
  PollEventLoop(const PollEventLoop&) = delete;
  PollEventLoop& operator=(const PollEventLoop&) = delete;

  void post(Task task) override;
  TimerId addTimer(std::chrono::milliseconds interval, Task onTick) override;
  void setTimerEnabled(TimerId id, bool enabled) override;
  bool timerEnabled(TimerId id) const override;
  void removeTimer(TimerId id) override;
  void run() override;
  void quit() override;

  // The due time after a tick that was due at `due` and ran at `now`: the next point of the timer's grid
  // that lies after `now`.
  static Clock::time_point NextDue(Clock::time_point due, Clock::duration interval, Clock::time_point now);

 private:
  struct Timer {
    Clock::duration interval;
    Clock::time_point due;
    bool enabled;
    Task onTick;
  };

  void wake();
  void drainWakeups();
  // Runs the tasks queued when called (not those they post), stopping early at quit().
  void runPostedTasks();
  void fireDueTimers();
  // Time until the earliest enabled timer is due; negative when none is.
  int64_t nanosUntilNextTimer() const;

  int wakeFd_ = -1;
  std::mutex mutex_;  // guards queue_
  std::deque<Task> queue_;
  std::atomic<bool> quitRequested_{false};
  std::map<TimerId, Timer> timers_;
  TimerId nextTimerId_ = 1;
};

}  // namespace tarvel
