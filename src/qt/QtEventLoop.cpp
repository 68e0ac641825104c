#include "qt/QtEventLoop.h"

#include <QEventLoop>
#include <QThread>

#include <stdexcept>

namespace tarvel {

QtEventLoop::QtEventLoop() : context_(std::make_unique<QObject>()) {}

QtEventLoop::~QtEventLoop() {
  // The timers are children of the context and go with it; tasks still queued for it are dropped.
  timers_.clear();
}

void QtEventLoop::runGuarded(const Task& task) {
  try {
    task();
  } catch (const std::exception& e) {
    if (onError) onError(e);
  } catch (...) {
    if (onError) onError(std::runtime_error("unknown error"));
  }
}

void QtEventLoop::post(Task task) {
  // Queued calls to one receiver are delivered in the order they were posted, from any thread.
  QMetaObject::invokeMethod(
      context_.get(), [this, t = std::move(task)] { runGuarded(t); }, Qt::QueuedConnection);
}

EventLoop::TimerId QtEventLoop::addTimer(std::chrono::milliseconds interval, Task onTick) {
  if (interval.count() <= 0) throw std::invalid_argument("timer interval must be positive");
  const TimerId id = nextTimerId_++;
  auto* timer = new QTimer(context_.get());
  // The 10 ms watchdog tick must not be stretched to the coarse timers' 5 % slack.
  timer->setTimerType(interval.count() <= 20 ? Qt::PreciseTimer : Qt::CoarseTimer);
  timer->setInterval(static_cast<int>(interval.count()));
  QObject::connect(timer, &QTimer::timeout, timer, [this, tick = std::move(onTick)] { runGuarded(tick); });
  timer->start();
  timers_[id] = timer;
  return id;
}

void QtEventLoop::setTimerEnabled(TimerId id, bool enabled) {
  auto it = timers_.find(id);
  if (it == timers_.end() || !it->second) return;
  QTimer* t = it->second;
  // Enabling a running timer keeps its rhythm, as the headless loop does.
  if (enabled && !t->isActive()) t->start();
  if (!enabled) t->stop();
}

bool QtEventLoop::timerEnabled(TimerId id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second && it->second->isActive();
}

void QtEventLoop::removeTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (QTimer* t = it->second) {
    t->stop();
    // A tick may remove its own timer: it is deleted once that tick has returned.
    t->deleteLater();
  }
  timers_.erase(it);
}

void QtEventLoop::run() {
  if (quitPending_) {
    quitPending_ = false;
    return;
  }
  QEventLoop loop;
  running_.push_back(&loop);
  loop.exec();
  running_.pop_back();
}

void QtEventLoop::quit() {
  if (QThread::currentThread() != context_->thread()) {
    QMetaObject::invokeMethod(context_.get(), [this] { quit(); }, Qt::QueuedConnection);
    return;
  }
  if (running_.empty())
    quitPending_ = true;  // a quit before run() makes it return at once
  else
    running_.back()->quit();
}

}  // namespace tarvel
