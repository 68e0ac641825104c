#include "base/PollEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace tarvel {

PollEventLoop::PollEventLoop() {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PollEventLoop::~PollEventLoop() {
  ::close(wakeFd_);
}

void PollEventLoop::wake() {
  const uint64_t one = 1;
  // EAGAIN means the counter is saturated, which still wakes the loop.
  [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void PollEventLoop::drainWakeups() {
  uint64_t count;
  while (::read(wakeFd_, &count, sizeof count) > 0) {
  }
}

void PollEventLoop::post(Task task) {
  bool wasEmpty;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wasEmpty = queue_.empty();
    queue_.push_back(std::move(task));
  }
  // The loop drains the eventfd before it takes tasks, so one wake-up per empty-to-non-empty change is
  // enough and busy senders do not pay a system call per post.
  if (wasEmpty) wake();
}

void PollEventLoop::quit() {
  quitRequested_ = true;
  wake();
}

EventLoop::TimerId PollEventLoop::addTimer(std::chrono::milliseconds interval, Task onTick) {
  if (interval.count() <= 0) throw std::invalid_argument("timer interval must be positive");
  const TimerId id = nextTimerId_++;
  timers_[id] = Timer{interval, Clock::now() + interval, true, std::move(onTick)};
  return id;
}

void PollEventLoop::setTimerEnabled(TimerId id, bool enabled) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (enabled && !it->second.enabled) it->second.due = Clock::now() + it->second.interval;
  it->second.enabled = enabled;
}

bool PollEventLoop::timerEnabled(TimerId id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.enabled;
}

void PollEventLoop::removeTimer(TimerId id) {
  timers_.erase(id);
}

PollEventLoop::Clock::time_point PollEventLoop::NextDue(Clock::time_point due, Clock::duration interval,
                                                        Clock::time_point now) {
  Clock::time_point next = due + interval;
  if (next <= now) next += ((now - next) / interval + 1) * interval;
  return next;
}

void PollEventLoop::runPostedTasks() {
  size_t count;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = queue_.size();
  }
  // Only the tasks present now: a task that keeps posting must not starve the timers.
  for (; count > 0 && !quitRequested_; --count) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

void PollEventLoop::fireDueTimers() {
  const Clock::time_point now = Clock::now();
  // Collected first: a tick may add or remove timers.
  std::vector<std::pair<Clock::time_point, TimerId>> due;
  for (const auto& [id, t] : timers_) {
    if (t.enabled && t.due <= now) due.emplace_back(t.due, id);
  }
  std::sort(due.begin(), due.end());
  for (const auto& [when, id] : due) {
    if (quitRequested_) return;
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second.enabled || it->second.due != when) continue;
    it->second.due = NextDue(it->second.due, it->second.interval, now);
    Task tick = it->second.onTick;  // the handler may remove its own timer
    tick();
  }
}

int64_t PollEventLoop::nanosUntilNextTimer() const {
  bool any = false;
  Clock::time_point earliest;
  for (const auto& [id, t] : timers_) {
    if (t.enabled && (!any || t.due < earliest)) {
      earliest = t.due;
      any = true;
    }
  }
  if (!any) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(earliest - Clock::now()).count();
  return left < 0 ? 0 : left;
}

void PollEventLoop::run() {
  while (!quitRequested_) {
    const int64_t waitNs = [&] {
      std::lock_guard<std::mutex> lock(mutex_);
      return queue_.empty() ? nanosUntilNextTimer() : 0;
    }();
    pollfd pfd{wakeFd_, POLLIN, 0};
    timespec timeout{static_cast<time_t>(waitNs / 1000000000), static_cast<long>(waitNs % 1000000000)};
    const int r = ::ppoll(&pfd, 1, waitNs < 0 ? nullptr : &timeout, nullptr);
    if (r < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "ppoll");
    drainWakeups();
    runPostedTasks();
    if (!quitRequested_) fireDueTimers();
  }
  quitRequested_ = false;
}

}  // namespace tarvel
