// The desktop program's EventLoop on top of Qt's: tasks posted from any thread arrive on the GUI thread
// in the order they were posted, timers are QTimers, and modal dialogs (which run a nested Qt loop) keep
// both going.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/EventLoop.h"

class QEventLoop;

namespace tarvel {

class QtEventLoop : public EventLoop {
 public:
  // On the GUI thread, once the QApplication exists.
  QtEventLoop();
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  void post(Task task) override;
  TimerId addTimer(std::chrono::milliseconds interval, Task onTick) override;
  void setTimerEnabled(TimerId id, bool enabled) override;
  bool timerEnabled(TimerId id) const override;
  void removeTimer(TimerId id) override;
  // Runs a nested Qt loop until quit(); the desktop program itself runs QApplication::exec().
  void run() override;
  void quit() override;

  // What a task or tick threw; an exception must not unwind through Qt's event dispatch, so it ends
  // here (the desktop program shows it in the default error box).
  std::function<void(const std::exception&)> onError;

 private:
  void runGuarded(const Task& task);

  std::unique_ptr<QObject> context_;  // posted tasks and timers live on its thread
  std::map<TimerId, QPointer<QTimer>> timers_;
  TimerId nextTimerId_ = 1;
  std::vector<QEventLoop*> running_;
  bool quitPending_ = false;
};

}  // namespace tarvel
