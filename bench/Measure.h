// What the benchmarks measure with: the process's peak memory and durations in milliseconds.
#pragma once

#include <sys/resource.h>

#include <chrono>

namespace tarvel::bench {

using Clock = std::chrono::steady_clock;

inline long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace tarvel::bench
