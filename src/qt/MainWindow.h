// The main window: widgets over the window model TGenMFrmZPN. Every widget reads its control; every
// click, key and change goes to the model's handlers, after which (and on a 100 ms tick) the widgets
// read the model again. The window decides nothing itself.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qt/ControlWidgets.h"
#include "ui/GenMainZPN.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTableView;
class QTabWidget;

namespace tarvel {

class DataViewModel;
class InfoPanelView;
class QtDialogService;

class MainWindow : public QMainWindow, public ControlHost {
 public:
  MainWindow(TGenMFrmZPN& model, QtDialogService& dialogs);
  ~MainWindow() override;

  TGenMFrmZPN& model() { return model_; }
  // The window is shown: the model's FormShow with the command line (start-up search, unattended mode).
  void start(const std::vector<std::string>& commandLine);
  // Reads every control of the model; cheap when little changed.
  void refresh();
  // Runs a model handler; what it throws goes to the default error box. The widgets refresh afterwards.
  void guarded(const std::function<void()>& f);

  void setValue(const Control& control, const std::string& value) override;
  void click(const Control& control) override;

  // The information panel's pop-up menu and the views' "Load File".
  QAction* clearInformationAction() const { return clearInformation_; }
  QAction* copyInformationAction() const { return copyInformation_; }
  InfoPanelView* infoMemo() const { return memo_; }
  QTableView* hexViewer() const { return views_[0]; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  template <typename Binding>
  QWidget* add(std::unique_ptr<Binding> b) {
    QWidget* w = b->widget();
    bindings_.push_back(std::move(b));
    return w;
  }
  void buildButtonBar(QWidget* parent);
  QWidget* buildChipSettingPage();
  QWidget* buildChipGroup(QWidget* parent);
  QWidget* buildSettingsGroup(QWidget* parent);
  QWidget* buildConnectionGroup(QWidget* parent);
  void buildInformationArea(QWidget* parent);
  void buildDataViews();
  void buildMenus();
  void buildStatusBar();
  void layoutInformationArea();
  void copySelectedInformation();
  void logLineAppended();
  void syncLog();

  TGenMFrmZPN& model_;
  QtDialogService& dialogs_;
  std::vector<std::unique_ptr<ControlBinding>> bindings_;
  struct ActionBinding {
    MenuItem* item;
    QAction* action;
  };
  std::vector<ActionBinding> actions_;
  std::vector<std::pair<MenuItem*, QMenu*>> menus_;
  QTabWidget* viewPages_ = nullptr;
  std::array<QTableView*, 3> views_{};
  std::array<DataViewModel*, 3> viewModels_{};
  QWidget* infoArea_ = nullptr;
  QLabel* infoPanel_ = nullptr;
  InfoPanelView* memo_ = nullptr;
  std::array<QProgressBar*, kMaxUnits> gauges_{};
  std::array<QLabel*, 3> statusPanels_{};
  QAction* clearInformation_ = nullptr;
  QAction* copyInformation_ = nullptr;
  QAction* loadFileOtp_ = nullptr;
  QTimer tick_;
  // The information panel shows the log's new lines once the burst they came in has ended.
  bool syncQueued_ = false;
  bool closing_ = false;
};

}  // namespace tarvel
