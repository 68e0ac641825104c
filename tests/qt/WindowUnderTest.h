// The desktop program's main window on Qt's offscreen platform, against simulated units, with a hand
// on every dialog it opens: message boxes are recorded and answered with their default button, file
// dialogs are given the next path queued, and modal dialogs are handed to the next step queued.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "e2e/UnitSimProcess.h"
#include "qt/MainWindow.h"
#include "qt/ModelDialog.h"
#include "qt/QtDialogService.h"
#include "qt/QtEventLoop.h"
#include "qt/QtText.h"
#include "support/TestFiles.h"
#include "ui/GenMainZPN.h"

namespace tarvel::testing {

// Where the screenshots go: the build folder.
inline std::filesystem::path ScreenshotDir() {
  std::filesystem::path dir = TARVEL_SCREENSHOT_DIR;
  std::filesystem::create_directories(dir);
  return dir;
}

inline void Screenshot(QWidget& w, const std::string& name) {
  const std::filesystem::path file = ScreenshotDir() / (name + ".png");
  EXPECT_TRUE(w.grab().save(Qs(file.string()), "PNG")) << file;
}

inline std::filesystem::path Sample(const std::string& name) {
  return std::filesystem::path(TARVEL_SOURCE_DIR) / "samples" / name;
}

// The bar's own drawing: the colour in the middle of its filled part.
inline QColor GaugeFill(QProgressBar& bar) {
  const QImage image = bar.grab().toImage();
  const int filled = bar.maximum() > 0 ? image.width() * bar.value() / bar.maximum() : 0;
  return image.pixelColor(std::max(2, filled / 4), image.height() / 2);
}

struct RecordedBox {
  BoxKind kind;
  std::string text;
};

class WindowUnderTest {
 public:
  using ModalStep = std::function<void(ModelDialog&)>;

  explicit WindowUnderTest(int units, std::vector<std::string> simOptions = {}) {
    if (units > 0) sim = std::make_unique<UnitSimProcess>(dir.path(), units, std::move(simOptions));
    dialogs.onBoxShown = [this](QMessageBox& box, const MessageBox& b) {
      boxes.push_back({b.kind, b.text});
      box.defaultButton()->click();
    };
    dialogs.onFileDialogShown = [this](QFileDialog& d, const FileDialog& asked) {
      fileDialogs.push_back(asked);
      fileFilters.push_back(d.nameFilters());
      if (files.empty()) {
        d.reject();
        return;
      }
      d.selectFile(Qs(files.front()));
      files.pop_front();
      static_cast<QDialog&>(d).accept();  // QFileDialog's own accept checks the name as the user's would
    };
    dialogs.onModalShown = [this](ModelDialog& d) {
      modalForms.emplace_back(d.model().formName());
      Screenshot(d, "dialog-" + std::string(d.model().formName()));
      if (modal.empty()) {
        QTest::mouseClick(d.closeButton(Button::OK), Qt::LeftButton);
        return;
      }
      ModalStep step = std::move(modal.front());
      modal.pop_front();
      step(d);
      if (d.isVisible()) {  // a step that failed half way must not leave the test waiting
        ADD_FAILURE() << d.model().formName() << " was left open";
        d.reject();
      }
    };
    loop.onError = [this](const std::exception& e) { dialogs.error(e.what()); };
    model = std::make_unique<TGenMFrmZPN>(loop, dialogs, dir.path(), [] { return std::string("06:00:00"); });
    window = std::make_unique<MainWindow>(*model, dialogs);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->start({});
    // The start-up search runs on the first tick of the 100 ms timer.
    EXPECT_TRUE(waitFor([&] { return !model->SearchPending && !model->Ops.searching(); }));
  }
  ~WindowUnderTest() {
    if (window) window->close();
    window.reset();
    model.reset();
  }

  // Keeps the loop running (replies, timers, the window's refresh) until `done` holds.
  bool waitFor(const std::function<bool()>& done, int seconds = 30) {
    return QTest::qWaitFor(done, seconds * 1000);
  }
  bool findUnits() {
    const int n = sim ? static_cast<int>(sim->ports().size()) : 0;
    return waitFor([&] { return model->Ops.foundCount >= n && !model->Ops.searching(); });
  }
  // Until every unit is idle and the widgets have shown the last state.
  bool waitIdle(int seconds = 60) {
    const bool idle = waitFor([&] { return !model->Ops.AnyBusy(); }, seconds);
    window->refresh();
    return idle;
  }

  template <typename W = QWidget>
  W* widget(const std::string& name) {
    W* w = window->findChild<W*>(Qs(name));
    EXPECT_TRUE(w) << "no widget " << name;
    return w;
  }
  QAction* action(const std::string& name) {
    QAction* a = window->findChild<QAction*>(Qs(name));
    EXPECT_TRUE(a) << "no action " << name;
    return a;
  }
  void clickButton(const std::string& name) {
    auto* b = widget<QAbstractButton>(name);
    ASSERT_TRUE(b);
    ASSERT_TRUE(b->isVisible() && b->isEnabled()) << name;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  // Picks `chip` in the chip dialog (the vendor selector is set first where it is hidden) and confirms.
  void chooseChip(const std::string& chip, int vendor = 8) {
    modal.push_back([chip, vendor](ModelDialog& d) {
      if (vendor != 8) {
        d.model().setControl("RadioGrpSelMF", std::to_string(vendor));
        d.refresh();
      }
      auto* list = d.findChild<QListWidget*>("ListBoxCP");
      ASSERT_TRUE(list);
      const auto found = list->findItems(Qs(chip), Qt::MatchExactly);
      ASSERT_EQ(found.size(), 1) << chip;
      list->scrollToItem(found.front());
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.front()).center());
      QTest::mouseClick(d.closeButton(Button::OK), Qt::LeftButton);
    });
    clickButton("DevButton");
  }
  // A key pressed in the window, which must be the active one for its menu shortcuts.
  void key(Qt::Key k, QWidget* target = nullptr) {
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(target ? target : window.get(), k);
  }
  void loadFile(const std::filesystem::path& file) {
    files.push_back(file.string());
    clickButton("SpdBtnOpen");
  }
  QProgressBar* gauge(int i) { return widget<QProgressBar>("Gauge" + std::to_string(i + 1)); }
  size_t count(const std::string& line) const {
    const auto& l = model->Log.lines();
    return static_cast<size_t>(std::count(l.begin(), l.end(), line));
  }

  TempDir dir;
  std::unique_ptr<UnitSimProcess> sim;
  QtEventLoop loop;
  QtDialogService dialogs;
  std::unique_ptr<TGenMFrmZPN> model;
  std::unique_ptr<MainWindow> window;

  std::vector<RecordedBox> boxes;
  std::deque<std::string> files;
  std::vector<FileDialog> fileDialogs;
  std::vector<QStringList> fileFilters;
  std::deque<ModalStep> modal;
  std::vector<std::string> modalForms;
};

}  // namespace tarvel::testing
