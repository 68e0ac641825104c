// The Qt event loop as the host's EventLoop: posting from any thread, timers, run/quit, errors, and the
// loop going on while a modal dialog is open.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "qt/QtDialogService.h"
#include "qt/QtEventLoop.h"
#include "qt/WindowUnderTest.h"

namespace tarvel {
namespace {

using std::chrono::milliseconds;

TEST(QtEventLoop, TasksFromAnyThreadRunOnTheGuiThreadInTheOrderPosted) {
  QtEventLoop loop;
  constexpr int kPerThread = 2000;
  std::vector<std::pair<int, int>> ran;  // (poster, sequence), touched on the GUI thread only
  bool offThread = false;
  auto poster = [&](int who) {
    for (int i = 0; i < kPerThread; ++i)
      loop.post([&, who, i] {
        offThread |= QThread::currentThread() != qApp->thread();
        ran.emplace_back(who, i);
      });
  };
  std::thread a(poster, 1), b(poster, 2);
  poster(0);
  EXPECT_TRUE(ran.empty()) << "a post never runs inside post()";
  a.join();
  b.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 3 * kPerThread; }, 20000));
  EXPECT_FALSE(offThread);
  std::vector<int> next(3, 0);
  for (const auto& [who, i] : ran) {
    EXPECT_EQ(i, next[static_cast<size_t>(who)]) << "poster " << who;
    next[static_cast<size_t>(who)] = i + 1;
  }
}

TEST(QtEventLoop, TimersTickUntilDisabledOrRemovedEvenFromTheirOwnTick) {
  QtEventLoop loop;
  int ticks = 0;
  const auto id = loop.addTimer(milliseconds(10), [&] { ++ticks; });
  EXPECT_TRUE(loop.timerEnabled(id));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
  loop.setTimerEnabled(id, false);
  EXPECT_FALSE(loop.timerEnabled(id));
  const int stopped = ticks;
  QTest::qWait(60);
  EXPECT_EQ(ticks, stopped);
  loop.setTimerEnabled(id, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > stopped; }, 5000));

  int once = 0;
  auto self = std::make_shared<EventLoop::TimerId>(0);
  *self = loop.addTimer(milliseconds(5), [&, self] {
    ++once;
    loop.removeTimer(*self);
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return once > 0; }, 5000));
  QTest::qWait(30);
  EXPECT_EQ(once, 1) << "removed in its own tick, it ticks no more";
  EXPECT_FALSE(loop.timerEnabled(*self));
  loop.removeTimer(id);
  EXPECT_FALSE(loop.timerEnabled(id));
  EXPECT_THROW(loop.addTimer(milliseconds(0), [] {}), std::invalid_argument);
}

TEST(QtEventLoop, RunEndsAtQuitFromAnyThreadAndNests) {
  QtEventLoop loop;
  loop.quit();
  loop.run();  // a quit before run() makes it return at once

  std::thread t([&] { loop.quit(); });
  loop.run();
  t.join();

  std::vector<std::string> order;
  loop.post([&] {
    order.push_back("outer task");
    loop.post([&] {
      order.push_back("quit inner");
      loop.quit();
    });
    loop.run();
    order.push_back("inner returned");
    loop.quit();
  });
  loop.run();
  EXPECT_EQ(order, (std::vector<std::string>{"outer task", "quit inner", "inner returned"}));
}

TEST(QtEventLoop, WhatTasksAndTicksThrowGoesToTheErrorHandlerAndTheLoopGoesOn) {
  QtEventLoop loop;
  std::vector<std::string> errors;
  loop.onError = [&](const std::exception& e) { errors.emplace_back(e.what()); };
  bool after = false;
  loop.post([] { throw std::runtime_error("file not found"); });
  loop.post([&] { after = true; });
  int ticks = 0;
  const auto id = loop.addTimer(milliseconds(10), [&] {
    if (++ticks == 1) throw std::runtime_error("tick failed");
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return after && ticks >= 2; }, 5000));
  EXPECT_EQ(errors, (std::vector<std::string>{"file not found", "tick failed"}));
  loop.removeTimer(id);
}

TEST(QtEventLoop, AModalBoxKeepsTasksAndTimersGoing) {
  QtEventLoop loop;
  QtDialogService dialogs;
  std::atomic<bool> posted{false};
  int ticks = 0;
  const auto id = loop.addTimer(milliseconds(10), [&] { ++ticks; });
  bool sawBoth = false;
  dialogs.onBoxShown = [&](QMessageBox& box, const MessageBox&) {
    // Only the box's own loop runs from here on: it must deliver the post and the ticks.
    const int before = ticks;
    std::thread([&] { loop.post([&] { posted = true; }); }).join();
    auto* check = new QTimer(&box);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(check, &QTimer::timeout, &box, [&, before, clock, check] {
      sawBoth = posted && ticks > before;
      if (!sawBoth && clock->elapsed() < 5000) return;
      check->stop();
      testing::Screenshot(box, "box-while-units-work");
      box.button(QMessageBox::Ok)->click();
    });
    check->start(5);
  };
  EXPECT_EQ(dialogs.information("Units keep working while this box is open."), Button::OK);
  EXPECT_TRUE(sawBoth);
  loop.removeTimer(id);
}

}  // namespace
}  // namespace tarvel
