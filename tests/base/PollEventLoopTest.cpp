#include "base/PollEventLoop.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tarvel {
namespace {

using std::chrono::milliseconds;
using Clock = PollEventLoop::Clock;

// Ends a run() that would otherwise hang, so that a broken wake-up fails the test instead of blocking it.
void AddHangGuard(PollEventLoop& loop, bool& fired) {
  loop.addTimer(std::chrono::seconds(20), [&] {
    fired = true;
    loop.quit();
  });
}

TEST(PollEventLoop, TasksFromManyThreadsRunInPostOrderAndWakeTheLoop) {
  PollEventLoop loop;
  bool guardFired = false;
  AddHangGuard(loop, guardFired);
  constexpr int kThreads = 4, kPosts = 2000;
  std::array<std::vector<int>, kThreads> seen;
  int ran = 0;
  std::vector<std::thread> posters;
  // The posters start only once the loop is blocked in run(), so their first post has to wake it.
  loop.post([&] {
    for (int t = 0; t < kThreads; ++t) {
      posters.emplace_back([&, t] {
        for (int i = 0; i < kPosts; ++i) {
          loop.post([&, t, i] {
            seen[t].push_back(i);
            if (++ran == kThreads * kPosts) loop.quit();
          });
        }
      });
    }
  });
  loop.run();
  for (auto& p : posters) p.join();
  EXPECT_FALSE(guardFired);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), size_t{kPosts});
    for (int i = 0; i < kPosts; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
  }
}

TEST(PollEventLoop, QuitFromAnotherThreadEndsABlockedRun) {
  PollEventLoop loop;
  bool guardFired = false;
  AddHangGuard(loop, guardFired);
  std::thread quitter;
  loop.post([&] {
    quitter = std::thread([&] {
      std::this_thread::sleep_for(milliseconds(20));
      loop.quit();
    });
  });
  loop.run();
  quitter.join();
  EXPECT_FALSE(guardFired);
}

TEST(PollEventLoop, TimersTickUntilDisabledOrRemoved) {
  PollEventLoop loop;
  int fast = 0, once = 0, disabledTicks = 0, slow = 0;
  loop.addTimer(milliseconds(10), [&] { ++fast; });
  const auto disabled = loop.addTimer(milliseconds(1), [&] { ++disabledTicks; });
  loop.setTimerEnabled(disabled, false);
  EventLoop::TimerId onceId = 0;
  onceId = loop.addTimer(milliseconds(10), [&] {
    ++once;
    loop.removeTimer(onceId);
  });
  int fastAtFirstSlowTick = -1;
  loop.addTimer(milliseconds(100), [&] {
    if (++slow == 1) fastAtFirstSlowTick = fast;
    if (slow == 3) loop.quit();
  });
  loop.run();
  EXPECT_EQ(slow, 3);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(disabledTicks, 0);
  EXPECT_FALSE(loop.timerEnabled(disabled));
  EXPECT_FALSE(loop.timerEnabled(onceId));
  EXPECT_GT(fastAtFirstSlowTick, 0);
  EXPECT_GT(fast, fastAtFirstSlowTick);
}

TEST(PollEventLoop, NextDueStaysOnTheTimersGrid) {
  const Clock::time_point t0{};
  const milliseconds iv(10);
  struct Case {
    milliseconds ranAt;  // when the tick due at t0 actually ran
    milliseconds next;   // expected next due time
  };
  const Case cases[] = {
      {milliseconds(0), milliseconds(10)},   // on time
      {milliseconds(3), milliseconds(10)},   // late: the next tick keeps the grid, no drift
      {milliseconds(10), milliseconds(20)},  // ran exactly at the next grid point: that tick is skipped
      {milliseconds(47), milliseconds(50)},  // blocked for several intervals: missed ticks are skipped
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PollEventLoop::NextDue(t0, iv, t0 + c.ranAt), t0 + c.next) << c.ranAt.count();
  }
}

TEST(PollEventLoop, RunCanBeNestedAndResumedAfterAnException) {
  PollEventLoop loop;
  std::vector<std::string> trace;
  loop.post([&] {
    trace.push_back("outer");
    loop.post([&] {
      trace.push_back("inner");
      loop.quit();  // ends the nested run only
    });
    loop.run();
    trace.push_back("back");
    loop.post([&] { throw std::runtime_error("boom"); });
    loop.post([&] {
      trace.push_back("after");
      loop.quit();
    });
  });
  EXPECT_THROW(loop.run(), std::runtime_error);
  loop.run();  // the task behind the failed one is still queued
  EXPECT_EQ(trace, (std::vector<std::string>{"outer", "inner", "back", "after"}));

  loop.quit();  // a quit before run() is not lost
  loop.run();
}

}  // namespace
}  // namespace tarvel
