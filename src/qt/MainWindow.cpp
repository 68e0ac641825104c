#include "qt/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "qt/DataViewModel.h"
#include "qt/InfoPanel.h"
#include "qt/QtDialogService.h"
#include "qt/QtText.h"

namespace tarvel {
namespace {

constexpr int kButtonBarHeight = 50;
constexpr int kInfoLeft = 452;     // the information area, right of the settings
constexpr int kInfoPanelHeight = 24;
constexpr int kMemoTop = 27;
constexpr int kGaugeHeight = 17;

QVBoxLayout* VBox(QWidget* w, int margin = 4) {
  auto* l = new QVBoxLayout(w);
  l->setContentsMargins(margin, margin, margin, margin);
  l->setSpacing(3);
  return l;
}

QGridLayout* Grid(QWidget* w) {
  auto* l = new QGridLayout(w);
  l->setContentsMargins(6, 4, 6, 4);
  l->setHorizontalSpacing(8);
  l->setVerticalSpacing(3);
  return l;
}

bool TakesText(QWidget* w) {
  if (auto* line = qobject_cast<QLineEdit*>(w)) return !line->isReadOnly();
  return qobject_cast<QAbstractSpinBox*>(w) != nullptr || qobject_cast<QComboBox*>(w) != nullptr;
}

}  // namespace

MainWindow::MainWindow(TGenMFrmZPN& model, QtDialogService& dialogs) : model_(model), dialogs_(dialogs) {
  setObjectName("TGenMFrmZPN");
  // A fixed border with the system menu and minimise only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  auto* central = new QWidget(this);
  central->setObjectName("ClientArea");
  setCentralWidget(central);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(2, 0, 2, 0);
  layout->setSpacing(2);
  auto* bar = new QWidget(central);
  bar->setObjectName("PanelBtns");
  bar->setFixedHeight(kButtonBarHeight);
  buildButtonBar(bar);
  layout->addWidget(bar);

  viewPages_ = new QTabWidget(central);
  viewPages_->addTab(buildChipSettingPage(), Qs(model.ChipSett.caption));
  buildDataViews();
  add(BindPages(model.ViewPageCtrl, viewPages_, *this));
  layout->addWidget(viewPages_, 1);

  buildMenus();
  buildStatusBar();

  dialogs_.setMainWidget(this);
  model_.Log.setListener([this](const std::string&) { logLineAppended(); });
  model_.onViewRowsChanged = [this](const DataView& view, int first, int count) {
    const std::array<const DataView*, 3> views = {&model_.HexViewer, &model_.EEPDataView, &model_.CfgDataView};
    for (size_t i = 0; i < views.size(); ++i)
      if (views[i] == &view) viewModels_[i]->rowsChanged(first, count);
  };
  qApp->installEventFilter(this);

  // The client area is the window's; the menu bar sits above it.
  const int menuHeight = menuBar()->sizeHint().height();
  setFixedSize(model.ClientWidth, model.ClientHeight + menuHeight);
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

  connect(&tick_, &QTimer::timeout, this, [this] { refresh(); });
  tick_.start(100);
  refresh();
}

MainWindow::~MainWindow() {
  closing_ = true;
  qApp->removeEventFilter(this);
  model_.Log.setListener({});
  model_.onViewRowsChanged = nullptr;
  dialogs_.setMainWidget(nullptr);
  // The widgets go before the bindings that point at them, and talk to the model no more.
  delete centralWidget();
}

// ---- building -------------------------------------------------------------------------------------

void MainWindow::buildButtonBar(QWidget* parent) {
  auto* row = new QHBoxLayout(parent);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(2);
  const std::pair<ButtonControl*, QStyle::StandardPixmap> buttons[] = {
      {&model_.SpdBtnExit, QStyle::SP_DialogCloseButton},     {&model_.SpdBtnOpen, QStyle::SP_DialogOpenButton},
      {&model_.SpdBtnLoadMore, QStyle::SP_FileDialogNewFolder}, {&model_.SpdBtnDownLoad, QStyle::SP_ArrowDown},
      {&model_.SpdBtnLdPrj, QStyle::SP_DirOpenIcon},          {&model_.AutoSpdBtn, QStyle::SP_MediaPlay},
      {&model_.SpdBtnBlankChk, QStyle::SP_FileDialogContentsView}, {&model_.SpdBtnErase, QStyle::SP_TrashIcon},
      {&model_.SpdBtnProg, QStyle::SP_DriveHDIcon},           {&model_.SpdBtnVerify, QStyle::SP_DialogApplyButton},
      {&model_.SpdBtnWrtOPB, QStyle::SP_FileDialogDetailedView}, {&model_.ReadChipData, QStyle::SP_ArrowUp},
  };
  for (const auto& [control, icon] : buttons) {
    auto* b = static_cast<QToolButton*>(add(BindButton(*control, *this, parent, true)));
    b->setIcon(style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setMinimumWidth(64);
    b->setFocusPolicy(Qt::NoFocus);
    row->addWidget(b);
  }
  row->addStretch(1);
}

QWidget* MainWindow::buildChipSettingPage() {
  auto* page = new QWidget;
  page->setObjectName(Qs(model_.ChipSett.name));
  auto* settings = new QWidget(page);
  settings->setGeometry(2, 2, kInfoLeft - 6, 486);
  auto* column = VBox(settings, 0);
  column->addWidget(buildChipGroup(settings));
  column->addWidget(buildSettingsGroup(settings), 1);
  column->addWidget(buildConnectionGroup(settings));
  buildInformationArea(page);
  return page;
}

QWidget* MainWindow::buildChipGroup(QWidget* parent) {
  TGenMFrmZPN& m = model_;
  QWidget* group = add(BindGroupBox(m.GroupBoxChip, parent));
  QGridLayout* g = Grid(group);
  auto* name = new QHBoxLayout;
  name->addWidget(add(BindEdit(m.MCUNameEdit, *this, group)), 1);
  auto* dev = static_cast<QAbstractButton*>(add(BindButton(m.DevButton, *this, group, true)));
  dev->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
  name->addWidget(dev);
  g->addLayout(name, 0, 0, 1, 3);
  g->addWidget(add(BindLabel(m.lbFlashSize, group)), 1, 0, 1, 3);
  auto* levels = new QHBoxLayout;
  levels->addWidget(add(BindRadioGroup(m.RadioGpVolt, *this, group, 2)));
  levels->addWidget(add(BindRadioGroup(m.RadioGrpSpdF, *this, group, 2)));
  g->addLayout(levels, 2, 0, 1, 3);
  // Three columns: the check boxes and the two family buttons share two rows.
  g->addWidget(add(BindCheckBox(m.ChkBoxEEP, *this, group)), 3, 0);
  g->addWidget(add(BindCheckBox(m.ChkBoxBlkEr, *this, group)), 3, 1);
  g->addWidget(add(BindButton(m.BtnOptionCfg, *this, group)), 3, 2);
  g->addWidget(add(BindCheckBox(m.CheckBoxOpt, *this, group)), 4, 0);
  g->addWidget(add(BindCheckBox(m.ChkBoxCCX, *this, group)), 4, 1);
  g->addWidget(add(BindButton(m.BitBtnLdBSL, *this, group)), 4, 2);
  g->setColumnStretch(0, 5);
  g->setColumnStretch(1, 5);
  g->setColumnStretch(2, 4);
  return group;
}

QWidget* MainWindow::buildSettingsGroup(QWidget* parent) {
  TGenMFrmZPN& m = model_;
  QWidget* group = add(BindGroupBox(m.GroupBoxCfg, parent));
  auto* tabs = new QTabWidget(group);
  VBox(group)->addWidget(tabs);
  std::array<QWidget*, 4> pages{};
  for (size_t i = 0; i < pages.size(); ++i) {
    pages[i] = new QWidget;
    pages[i]->setObjectName(Qs(m.PageControlSet.pages[i]->name));
    tabs->addTab(pages[i], Qs(m.PageControlSet.pages[i]->caption));
  }
  {  // Chip parameters (SC9x).
    QWidget* p = pages[0];
    auto* l = VBox(p);
    for (SpinEdit* s : {&m.SpinEditEST, &m.SpinEditPGTM1, &m.SpinEditPGTM2}) l->addWidget(add(BindSpinEdit(*s, *this, p)));
    l->addStretch(1);
  }
  {  // Serial numbers.
    QWidget* p = pages[1];
    QGridLayout* g = Grid(p);
    g->addWidget(add(BindCheckBox(m.CheckBoxSN, *this, p)), 0, 0);
    g->addWidget(add(BindCheckBox(m.ChkBoxSNDP, *this, p)), 0, 1);
    g->addWidget(add(BindEdit(m.SNEdit1, *this, p)), 1, 0);
    g->addWidget(add(BindEdit(m.GainEdit, *this, p)), 1, 1);
    g->addWidget(add(BindEdit(m.AddrEdit, *this, p)), 2, 0);
    g->addWidget(add(BindCheckBox(m.SNOrderChk, *this, p)), 2, 1);
    g->addWidget(add(BindCheckBox(m.ChkBoxPCSN, *this, p)), 3, 0);
    g->addWidget(add(BindButton(m.ButtonCfgSN, *this, p)), 3, 1);
    g->addWidget(add(BindLabel(m.LabelDEVA, p)), 4, 0, Qt::AlignRight);
    g->addWidget(add(BindEdit(m.EditDevAdr, *this, p, false)), 4, 1);
    QWidget* poly = add(BindGroupBox(m.PanelPOLY, p));
    auto* row = new QHBoxLayout(poly);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(add(BindButton(m.SpdBtnISNH, *this, poly)));
    row->addWidget(add(BindButton(m.SpdBtnUsrID, *this, poly)));
    g->addWidget(poly, 5, 0, 1, 2);
    g->setRowStretch(6, 1);
  }
  {  // Counts and chip detection.
    QWidget* p = pages[2];
    QGridLayout* g = Grid(p);
    g->addWidget(add(BindCheckBox(m.CheckBoxCtrl, *this, p)), 0, 0);
    g->addWidget(add(BindSpinEdit(m.SpinEditNum, *this, p)), 0, 1);
    g->addWidget(add(BindCheckBox(m.ChkBoxRunSHT, *this, p)), 1, 0);
    g->addWidget(add(BindSpinEdit(m.SpinEditRTM, *this, p, true)), 1, 1);
    g->addWidget(add(BindRadioGroup(m.RadioGrpBKF, *this, p, 2)), 2, 0, 1, 2);
    g->addWidget(add(BindCheckBox(m.ChkBoxAuto, *this, p)), 3, 0, 1, 2);
    g->addWidget(add(BindSpinEdit(m.SpinEditIn, *this, p)), 4, 0, 1, 2);
    g->addWidget(add(BindSpinEdit(m.SpinEditOut, *this, p)), 5, 0, 1, 2);
    g->setRowStretch(6, 1);
  }
  {  // Signal outputs.
    QWidget* p = pages[3];
    QGridLayout* g = Grid(p);
    g->addWidget(add(BindCheckBox(m.ChkBoxVDD, *this, p)), 0, 0);
    g->addWidget(add(BindCheckBox(m.CheckBoxRun, *this, p)), 0, 1);
    g->addWidget(add(BindSpinEdit(m.SpinEditVddTim, *this, p)), 1, 0, 1, 2);
    g->addWidget(add(BindSpinEdit(m.SpinEditPWDTim, *this, p)), 2, 0, 1, 2);
    g->addWidget(add(BindRadioGroup(m.RadioGrpRST, *this, p, 3)), 3, 0, 1, 2);
    g->setRowStretch(4, 1);
  }
  add(BindPages(m.PageControlSet, tabs, *this));
  return group;
}

QWidget* MainWindow::buildConnectionGroup(QWidget* parent) {
  QWidget* group = add(BindGroupBox(model_.GroupBoxCom, parent));
  auto* row = new QHBoxLayout(group);
  row->setContentsMargins(6, 2, 6, 4);
  row->addWidget(add(BindComboBox(model_.ComboBoxCOM, *this, group)), 1);
  row->addWidget(add(BindButton(model_.BitBtnFindDev, *this, group)));
  return group;
}

void MainWindow::buildInformationArea(QWidget* page) {
  infoArea_ = new QWidget(page);
  infoArea_->setGeometry(kInfoLeft, 0, model_.ClientWidth - kInfoLeft - 12, 488);
  infoPanel_ = new QLabel(infoArea_);
  infoPanel_->setObjectName(Qs(model_.InfoPanel.name));
  infoPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  infoPanel_->setAlignment(Qt::AlignCenter);
  memo_ = new InfoPanelView(model_.Log, infoArea_);
  memo_->setObjectName(Qs(model_.InfoMemo.name));
  memo_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* popup = new QMenu(memo_);
  clearInformation_ = popup->addAction(Qs(model_.ClearInformation1.caption));
  clearInformation_->setObjectName(Qs(model_.ClearInformation1.name));
  connect(clearInformation_, &QAction::triggered, this, [this] { click(model_.ClearInformation1); });
  copyInformation_ = popup->addAction(Qs(model_.CopyInformation1.caption));
  copyInformation_->setObjectName(Qs(model_.CopyInformation1.name));
  connect(copyInformation_, &QAction::triggered, this, [this] { copySelectedInformation(); });
  // Ctrl+C in the panel copies the selected lines as the menu does.
  copyInformation_->setShortcut(QKeySequence::Copy);
  copyInformation_->setShortcutContext(Qt::WidgetShortcut);
  memo_->addAction(copyInformation_);
  connect(memo_, &QWidget::customContextMenuRequested, this,
          [this, popup](const QPoint& at) { popup->exec(memo_->viewport()->mapToGlobal(at)); });
  for (size_t i = 0; i < model_.Gauges.size(); ++i) {
    auto* bar = static_cast<QProgressBar*>(add(BindGauge(model_.Gauges[i], infoArea_)));
    bar->setFormat(QString("C%1  %p%").arg(i + 1));
    gauges_[i] = bar;
  }
}

void MainWindow::buildDataViews() {
  const std::array<std::pair<PageControl*, const DataView*>, 3> views = {
      std::pair<PageControl*, const DataView*>{&model_.TabSheetFlash, &model_.HexViewer},
      {&model_.TabSheetEEP, &model_.EEPDataView},
      {&model_.TabSheetCfg, &model_.CfgDataView}};
  const std::array<const char*, 3> names = {"HexViewer", "EEPDataView", "CfgDataView"};
  auto* popup = new QMenu(this);
  loadFileOtp_ = popup->addAction(Qs(model_.LoadFileOTP.caption));
  loadFileOtp_->setObjectName(Qs(model_.LoadFileOTP.name));
  connect(loadFileOtp_, &QAction::triggered, this, [this] { click(model_.LoadFileOTP); });
  for (size_t i = 0; i < views.size(); ++i) {
    auto* table = new QTableView;
    table->setObjectName(names[i]);
    viewModels_[i] = new DataViewModel(*views[i].second, table);
    SetUpDataGrid(*table, *viewModels_[i], i == 1);
    if (i > 0) {  // the EEP and option views load EEP data from their pop-up menu
      table->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(table, &QWidget::customContextMenuRequested, this,
              [table, popup](const QPoint& at) { popup->exec(table->viewport()->mapToGlobal(at)); });
    }
    views_[i] = table;
    viewPages_->addTab(table, Qs(views[i].first->caption));
  }
}

void MainWindow::buildMenus() {
  TGenMFrmZPN& m = model_;
  const std::vector<Control*> all = m.Controls();
  for (MenuItem* top : {&m.FileMenu, &m.CommandMenu, &m.ReadCommand, &m.StartOfflineProgrm1, &m.HelpMenu}) {
    std::vector<MenuItem*> items;
    for (Control* c : all)
      if (auto* item = dynamic_cast<MenuItem*>(c); item && c->parent == top) items.push_back(item);
    if (items.empty()) {  // a command right on the menu bar
      QAction* a = menuBar()->addAction(Qs(top->caption));
      a->setObjectName(Qs(top->name));
      connect(a, &QAction::triggered, this, [this, top] { click(*top); });
      actions_.push_back({top, a});
      continue;
    }
    QMenu* menu = menuBar()->addMenu(Qs(top->caption));
    menu->setObjectName(Qs(top->name));
    menus_.emplace_back(top, menu);
    for (MenuItem* item : items) {
      QAction* a = menu->addAction(Qs(item->caption));
      a->setObjectName(Qs(item->name));
      if (!item->shortcut.empty()) a->setShortcut(QKeySequence(Qs(item->shortcut)));
      connect(a, &QAction::triggered, this, [this, item] { click(*item); });
      actions_.push_back({item, a});
    }
  }
}

void MainWindow::buildStatusBar() {
  statusBar()->setSizeGripEnabled(false);
  for (size_t i = 0; i < statusPanels_.size(); ++i) {
    auto* l = new QLabel(statusBar());
    l->setObjectName(QString("StatusBar1_%1").arg(i));
    l->setFixedWidth(model_.StatusBar1[i].width);
    statusBar()->addWidget(l);
    statusPanels_[i] = l;
  }
}

// ---- running --------------------------------------------------------------------------------------

void MainWindow::start(const std::vector<std::string>& commandLine) {
  guarded([&] { model_.FormShow(commandLine); });
}

void MainWindow::guarded(const std::function<void()>& f) {
  if (closing_) return;
  try {
    f();
  } catch (const std::exception& e) {
    // The application's default error box, as at the top of the event loop.
    dialogs_.error(e.what());
  }
  refresh();
}

void MainWindow::setValue(const Control& control, const std::string& value) {
  guarded([&] { model_.SetControl(control.name, value); });
}

void MainWindow::click(const Control& control) {
  guarded([&] { model_.Click(control.name); });
}

void MainWindow::copySelectedInformation() {
  const QString selected = memo_->selectedText();
  guarded([&] { model_.CopyInformation1Click(Us(selected)); });
  if (!selected.isEmpty() && !model_.Clipboard.empty()) QApplication::clipboard()->setText(Qs(model_.Clipboard));
}

void MainWindow::logLineAppended() {
  memo_->lines().lineAppended();
  // Lines come in bursts (block dumps, ten units reporting): the panel takes them together.
  if (!syncQueued_) {
    syncQueued_ = true;
    QTimer::singleShot(0, this, [this] { syncLog(); });
  }
}

void MainWindow::syncLog() {
  syncQueued_ = false;
  memo_->sync();
}

void MainWindow::layoutInformationArea() {
  const int width = infoArea_->width();
  infoPanel_->setGeometry(0, 0, width, kInfoPanelHeight);
  const int memoHeight = model_.InfoMemo.height > 0 ? model_.InfoMemo.height : 436;
  if (memo_->geometry() != QRect(0, kMemoTop, width, memoHeight)) memo_->setGeometry(0, kMemoTop, width, memoHeight);
  for (size_t i = 0; i < gauges_.size(); ++i) {
    const int top = model_.Gauges[i].top;
    if (top >= 0 && gauges_[i]->geometry() != QRect(0, top, width, kGaugeHeight))
      gauges_[i]->setGeometry(0, top, width, kGaugeHeight);
  }
}

void MainWindow::refresh() {
  if (closing_) return;
  if (windowTitle() != Qs(model_.Caption)) setWindowTitle(Qs(model_.Caption));
  for (auto& b : bindings_) b->refresh();
  for (const auto& [item, action] : actions_) {
    if (action->text() != Qs(item->caption)) action->setText(Qs(item->caption));
    action->setVisible(item->visible);
    // A disabled menu takes its items' shortcuts with it.
    action->setEnabled(Usable(*item));
  }
  for (const auto& [item, menu] : menus_) {
    menu->menuAction()->setVisible(item->visible);
    menu->menuAction()->setEnabled(item->enabled);
  }
  loadFileOtp_->setEnabled(Usable(model_.LoadFileOTP));
  if (infoPanel_->text() != Qs(model_.InfoPanel.caption)) infoPanel_->setText(Qs(model_.InfoPanel.caption));
  layoutInformationArea();
  for (size_t i = 0; i < statusPanels_.size(); ++i)
    if (statusPanels_[i]->text() != Qs(model_.StatusBar1[i].text)) statusPanels_[i]->setText(Qs(model_.StatusBar1[i].text));
  for (DataViewModel* v : viewModels_) v->refresh();
  syncLog();
  // The model closed itself (退出, E&xit, the end of an unattended download).
  if (model_.Closed && isVisible()) close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  guarded([this] { model_.Close(); });  // closes the ports, then writes the log
  tick_.stop();
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The window sees Space and Enter before its controls: they start the automatic sequence. Fields that
  // take text keep them.
  if (event->type() != QEvent::KeyPress || closing_) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || w->window() != this || QApplication::activeModalWidget()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const bool space = key->key() == Qt::Key_Space;
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  if ((!space && !enter) || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  if (TakesText(QApplication::focusWidget())) return false;
  if (key->isAutoRepeat()) return true;
  bool handled = false;
  guarded([&] { handled = model_.KeyDown(space ? "Space" : "Enter"); });
  return handled;
}

}  // namespace tarvel
