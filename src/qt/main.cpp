// tarvel200 [--dir DIR] [PROJECT.pmw [OFF]]: the desktop program.
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "qt/Look.h"
#include "qt/MainWindow.h"
#include "qt/QtDialogService.h"
#include "qt/QtEventLoop.h"
#include "qt/QtText.h"
#include "ui/GenMainZPN.h"

namespace {

constexpr const char* kUsage = "usage: tarvel200 [--dir DIR] [PROJECT.pmw [OFF]]\n";

struct Arguments {
  std::string dir;
  std::vector<std::string> commandLine;
};

bool Parse(int argc, char** argv, Arguments& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      a.dir = argv[++i];
    } else if (arg.rfind("--dir=", 0) == 0) {
      a.dir = arg.substr(6);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return false;
    } else {
      a.commandLine.push_back(arg);
    }
  }
  return a.commandLine.size() <= 2;
}

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

bool HaveDisplay() {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* s = std::getenv(v); s && *s) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!HaveDisplay()) {
    std::cerr << "tarvel200: no display to open the window on (DISPLAY is not set)\n";
    return 1;
  }
  QApplication app(argc, argv);  // takes Qt's own options (-platform, ...) out of argv
  Arguments args;
  if (!Parse(argc, argv, args)) {
    std::cerr << kUsage;
    return 2;
  }
  QApplication::setApplicationName(tarvel::kApplicationTitle);
  tarvel::SetUpApplicationLook();
  const std::filesystem::path dir =
      args.dir.empty() ? std::filesystem::path(tarvel::Us(QApplication::applicationDirPath())) : std::filesystem::path(args.dir);

  tarvel::QtEventLoop loop;
  tarvel::QtDialogService dialogs;
  tarvel::TGenMFrmZPN model(loop, dialogs, dir);
  loop.onError = [&dialogs](const std::exception& e) { dialogs.error(e.what()); };
  tarvel::MainWindow window(model, dialogs);
  window.show();

  // Ctrl+C or a TERM signal closes the window as the user would: ports closed, log written.
  std::unique_ptr<QSocketNotifier> signalNotifier;
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &window, [] {
      char c;
      while (::read(signalPipe[0], &c, 1) > 0) {
      }
      QApplication::closeAllWindows();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
  }
  QTimer::singleShot(0, &window, [&] { window.start(args.commandLine); });
  return app.exec();
}
