// Running the event loop until something has happened: how tarvelctl and the end-to-end tests wait for
// the units while replies, timers and watchdogs keep working.
#pragma once

#include <chrono>
#include <functional>

#include "base/EventLoop.h"

namespace tarvel {

// Runs `loop` until `done()` holds (checked every 10 ms) or `limit` has passed; `everyCheck` runs at
// every check (progress display). True when `done` was reached.
bool RunLoopUntil(EventLoop& loop, const std::function<bool()>& done, std::chrono::milliseconds limit,
                  const std::function<void()>& everyCheck = {});

}  // namespace tarvel
