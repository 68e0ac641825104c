#include "base/ManualEventLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tarvel {
namespace {

using std::chrono::milliseconds;

TEST(ManualEventLoop, PostedTasksRunInOrderIncludingThoseTheyPost) {
  ManualEventLoop loop;
  std::string trace;
  loop.post([&] {
    trace += "a";
    loop.post([&] { trace += "c"; });
  });
  loop.post([&] { trace += "b"; });
  std::thread other([&] {
    for (int i = 0; i < 100; ++i) loop.post([&] { trace += "."; });
  });
  other.join();
  EXPECT_EQ(loop.runPending(), 103u);
  EXPECT_EQ(trace, "ab" + std::string(100, '.') + "c");
}

TEST(ManualEventLoop, TimersTickOnlyWhenTimeAdvances) {
  ManualEventLoop loop;
  std::vector<std::string> trace;
  const auto fast = loop.addTimer(milliseconds(10), [&] { trace.push_back("10@" + std::to_string(loop.now().count())); });
  loop.addTimer(milliseconds(100), [&] {
    trace.push_back("100@" + std::to_string(loop.now().count()));
    loop.post([&] { trace.push_back("post"); });
  });
  loop.runPending();
  EXPECT_TRUE(trace.empty());
  loop.advance(milliseconds(99));
  EXPECT_EQ(trace.size(), 9u);
  trace.clear();
  loop.advance(milliseconds(11));  // now 110
  // At 100 both are due: the timer added first ticks first, and a task posted by a tick runs before the
  // next tick.
  EXPECT_EQ(trace, (std::vector<std::string>{"10@100", "100@100", "post", "10@110"}));

  trace.clear();
  loop.setTimerEnabled(fast, false);
  loop.advance(milliseconds(5));  // 115
  loop.setTimerEnabled(fast, true);
  loop.advance(milliseconds(9));  // 124: re-enabled timers restart their interval
  EXPECT_TRUE(trace.empty());
  loop.advance(milliseconds(1));
  EXPECT_EQ(trace, (std::vector<std::string>{"10@125"}));
}

TEST(ManualEventLoop, ATickMayRemoveItsOwnTimer) {
  ManualEventLoop loop;
  int ticks = 0;
  EventLoop::TimerId id = 0;
  id = loop.addTimer(milliseconds(100), [&] {
    ++ticks;
    loop.removeTimer(id);
  });
  loop.advance(milliseconds(1000));
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(loop.timerEnabled(id));
}

TEST(ManualEventLoop, RunStopsAtQuit) {
  ManualEventLoop loop;
  int ran = 0;
  loop.post([&] { ++ran; loop.quit(); });
  loop.post([&] { ++ran; });
  loop.run();
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(loop.pendingCount(), 1u);
}

}  // namespace
}  // namespace tarvel
