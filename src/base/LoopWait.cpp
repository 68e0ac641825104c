#include "base/LoopWait.h"

namespace tarvel {

bool RunLoopUntil(EventLoop& loop, const std::function<bool()>& done, std::chrono::milliseconds limit,
                  const std::function<void()>& everyCheck) {
  if (done()) return true;
  const auto start = std::chrono::steady_clock::now();
  bool finished = false;
  const EventLoop::TimerId check = loop.addTimer(std::chrono::milliseconds(10), [&] {
    if (everyCheck) everyCheck();
    if (done()) {
      finished = true;
      loop.quit();
    } else if (std::chrono::steady_clock::now() - start >= limit) {
      loop.quit();
    }
  });
  loop.run();
  loop.removeTimer(check);
  return finished;
}

}  // namespace tarvel
