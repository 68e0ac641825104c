// The desktop window at its largest, on Qt's offscreen platform: 1,000,000 lines through the information
// panel, arriving in bursts of 1,000 (a block dump, or ten units reporting at once) with the event loop
// turning between bursts as it does while units work; then the flash view of a full 2 MiB image shown
// and scrolled from top to bottom a page at a time, each page painted. Prints the slowest single event
// loop turn of each against the 50 ms a user would notice, and what the panel's lines cost in memory.
//   qt_panel_bench
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "Measure.h"
#include "qt/InfoPanel.h"
#include "qt/MainWindow.h"
#include "qt/QtDialogService.h"
#include "qt/QtEventLoop.h"
#include "ui/GenMainZPN.h"

using namespace tarvel;
using namespace tarvel::bench;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const auto dir = std::filesystem::temp_directory_path() / ("tarvel-panelbench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);

  int status = 0;
  {
    QtEventLoop loop;
    QtDialogService dialogs;
    // No units here: the start-up search says so in a box, which is answered at once.
    dialogs.onBoxShown = [](QMessageBox& box, const MessageBox&) { box.defaultButton()->click(); };
    TGenMFrmZPN model(loop, dialogs, dir, [] { return std::string("06:00:00"); });
    MainWindow window(model, dialogs);
    window.show();
    window.start({});
    const auto settle = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < settle) app.processEvents(QEventLoop::AllEvents, 50);

    // The panel.
    const long rss0 = PeakRssKb();
    double slowestTurn = 0;
    const auto t0 = Clock::now();
    constexpr int kLines = 1000000, kBurst = 1000;
    for (int i = 0; i < kLines; i += kBurst) {
      const auto a = Clock::now();
      for (int k = i; k < i + kBurst; ++k)
        model.Log.ChannelMessage(k % 3 == 0 ? "Flash数据校验成功！" : "开始Main Flash编程......", k % 10);
      app.processEvents();  // the panel takes the burst and paints
      slowestTurn = std::max(slowestTurn, Ms(Clock::now() - a));
    }
    const double total = Ms(Clock::now() - t0);
    const long rss1 = PeakRssKb();
    const int shown = window.infoMemo()->model()->rowCount();
    std::printf("panel: 1,000,000 lines in bursts of %d in %.0f ms; slowest turn %.1f ms; %d lines shown; %.0f MB"
                " for the lines (log and panel)\n",
                kBurst, total, slowestTurn, shown, static_cast<double>(rss1 - rss0) / 1024);
    if (shown < kLines) status = 1;

    // The flash view of a full image: every byte of the 2 MiB buffer, 16 to a row.
    for (size_t i = 0; i < model.Image->FlashImage.size(); ++i) model.Image->FlashImage[i] = static_cast<uint8_t>(i * 31);
    const int rows = static_cast<int>(model.Image->FlashImage.size() / 16);
    auto a = Clock::now();
    model.HexViewer.ShowLinear(model.Image->FlashImage, 0, 0, rows);
    window.refresh();
    window.findChild<QTabWidget*>("ViewPageCtrl")->setCurrentIndex(1);  // "Main Flash"
    QTableView* view = window.hexViewer();
    view->viewport()->repaint();
    const double open = Ms(Clock::now() - a);
    QScrollBar* bar = view->verticalScrollBar();
    const int page = std::max(1, bar->pageStep());
    double slowestPage = 0;
    int pages = 0;
    for (int v = 0; v <= bar->maximum(); v += page, ++pages) {
      a = Clock::now();
      bar->setValue(v);
      view->viewport()->repaint();
      slowestPage = std::max(slowestPage, Ms(Clock::now() - a));
    }
    std::printf("flash view: %d rows (2 MiB) shown in %.1f ms; %d pages of %d rows scrolled and painted, slowest"
                " page %.2f ms\n",
                view->model()->rowCount(), open, pages, page, slowestPage);
    if (view->model()->rowCount() != rows) status = 1;
    std::printf("slowest operation: %.1f ms\n", std::max({slowestTurn, open, slowestPage}));
    window.close();
  }
  std::filesystem::remove_all(dir);
  return status;
}
