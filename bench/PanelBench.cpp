// The information panel and the flash view at their largest: 1,000,000 panel lines appended one by one
// (a week of a busy line), and the flash view of a 2 MiB image opened and scrolled from top to bottom a
// page at a time. Prints the slowest single operation of each against the 50 ms a user would notice,
// and the memory the panel's lines take.
//   panel_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "base/InfoLog.h"
#include "Measure.h"
#include "ui/DataViews.h"

using namespace tarvel;
using namespace tarvel::bench;

int main() {
  const long rss0 = PeakRssKb();
  InfoLog log([] { return std::string("06:00:00"); });
  double slowestAppend = 0;
  const auto t0 = Clock::now();
  for (int i = 0; i < 1000000; ++i) {
    const auto a = Clock::now();
    log.ChannelMessage(i % 3 == 0 ? "Flash数据校验成功！" : "开始Main Flash编程......", i % 10);
    slowestAppend = std::max(slowestAppend, Ms(Clock::now() - a));
  }
  const double appendTotal = Ms(Clock::now() - t0);
  const long rss1 = PeakRssKb();
  std::printf("panel: 1,000,000 lines appended in %.0f ms, slowest append %.2f ms, %.0f MB for the lines\n",
              appendTotal, slowestAppend, static_cast<double>(rss1 - rss0) / 1024);

  std::vector<uint8_t> image(2 * 1024 * 1024);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31);
  DataView view;
  auto a = Clock::now();
  view.ShowLinear(image, 0, 0, static_cast<int>(image.size() / 16));
  const double open = Ms(Clock::now() - a);
  constexpr int kPage = 40;  // rows a maximised window shows
  double slowestPage = 0;
  size_t sink = 0;
  for (int first = 0; first < view.rowCount(); first += kPage) {
    a = Clock::now();
    for (int r = first; r < std::min(first + kPage, view.rowCount()); ++r) sink += view.Row(r)[17].size();
    slowestPage = std::max(slowestPage, Ms(Clock::now() - a));
  }
  std::printf("flash view: 2 MiB opened in %.3f ms; %d rows scrolled a page of %d at a time, slowest page %.3f ms"
              " (%zu)\n",
              open, view.rowCount(), kPage, slowestPage, sink % 10);
  const double slowest = std::max({slowestAppend, open, slowestPage});
  std::printf("slowest operation: %.2f ms\n", slowest);
  return 0;
}
