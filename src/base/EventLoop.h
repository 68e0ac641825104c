// The loop thread's event loop. All logic runs on one thread; the serial threads only ever call post().
// Implementations: PollEventLoop (headless), the Qt loop of the desktop program, and ManualEventLoop for
// tests, where time moves only when the test says so.
#pragma once

#include <chrono>
#include <functional>

namespace tarvel {

class EventLoop {
 public:
  using Task = std::function<void()>;
  using TimerId = int;

  virtual ~EventLoop() = default;

  // Queues a task for the loop thread. Tasks run in the order they were posted. Safe from any thread.
  virtual void post(Task task) = 0;

  // A periodic timer, enabled when added. Its first tick comes one interval after it was (re-)enabled.
  virtual TimerId addTimer(std::chrono::milliseconds interval, Task onTick) = 0;
  virtual void setTimerEnabled(TimerId id, bool enabled) = 0;
  virtual bool timerEnabled(TimerId id) const = 0;
  virtual void removeTimer(TimerId id) = 0;

  // Runs until quit() is called.
  virtual void run() = 0;
  virtual void quit() = 0;
};

}  // namespace tarvel
