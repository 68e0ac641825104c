#include "base/ManualEventLoop.h"

#include <stdexcept>

namespace tarvel {

void ManualEventLoop::post(Task task) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(task));
}

EventLoop::TimerId ManualEventLoop::addTimer(std::chrono::milliseconds interval, Task onTick) {
  if (interval.count() <= 0) throw std::invalid_argument("timer interval must be positive");
  const TimerId id = nextTimerId_++;
  timers_[id] = Timer{interval.count(), nowMs_ + interval.count(), true, std::move(onTick)};
  return id;
}

void ManualEventLoop::setTimerEnabled(TimerId id, bool enabled) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (enabled && !it->second.enabled) it->second.dueMs = nowMs_ + it->second.intervalMs;
  it->second.enabled = enabled;
}

bool ManualEventLoop::timerEnabled(TimerId id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.enabled;
}

void ManualEventLoop::removeTimer(TimerId id) { timers_.erase(id); }

size_t ManualEventLoop::pendingCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

size_t ManualEventLoop::runPending() {
  size_t ran = 0;
  for (;;) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return ran;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
    ++ran;
  }
}

void ManualEventLoop::run() {
  quitRequested_ = false;
  while (!quitRequested_) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

void ManualEventLoop::advance(std::chrono::milliseconds elapsed) {
  const int64_t target = nowMs_ + elapsed.count();
  runPending();
  for (;;) {
    // The earliest due, enabled timer; ties go to the timer added first (lowest id).
    TimerId dueId = 0;
    int64_t dueMs = target + 1;
    for (const auto& [id, t] : timers_) {
      if (t.enabled && t.dueMs < dueMs) {
        dueMs = t.dueMs;
        dueId = id;
      }
    }
    if (dueId == 0) break;
    nowMs_ = dueMs;
    Timer& t = timers_.at(dueId);
    t.dueMs += t.intervalMs;
    Task tick = t.onTick;  // the handler may remove or re-add its own timer
    tick();
    runPending();
  }
  nowMs_ = target;
}

}  // namespace tarvel
