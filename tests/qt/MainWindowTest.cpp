// The main window's widgets against simulated units: start-up and gauges, the chip dialog and the file
// dialog, downloads and the automatic sequence by button and by key, a failing unit, the family set-up,
// the hex views and the information panel. Every test leaves a screenshot in the build folder.
#include <QClipboard>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

#include "base/Format.h"
#include "chips/Catalogue.h"
#include "qt/InfoPanel.h"
#include "qt/WindowUnderTest.h"

namespace tarvel {
namespace {

using testing::GaugeFill;
using testing::Sample;
using testing::Screenshot;
using testing::WindowUnderTest;

bool Blue(const QColor& c) { return c.blue() > 150 && c.red() < 80 && c.green() < 80; }
bool Red(const QColor& c) { return c.red() > 150 && c.blue() < 80 && c.green() < 80; }

// The unit's gauge ran to its end in the colour of success.
void ExpectFullAndBlue(WindowUnderTest& t, int unit) {
  QProgressBar* g = t.gauge(unit);
  ASSERT_TRUE(g);
  EXPECT_TRUE(g->isVisible()) << unit;
  EXPECT_EQ(g->value(), g->maximum()) << unit;
  EXPECT_EQ(g->property("gaugeColour").toString(), "blue") << unit;
  EXPECT_TRUE(Blue(GaugeFill(*g))) << unit << ": " << GaugeFill(*g).name().toStdString();
}

void ExpectGaugesFullAndBlue(WindowUnderTest& t, int units) {
  for (int i = 0; i < units; ++i) ExpectFullAndBlue(t, i);
}

TEST(MainWindow, StartsFindsTheUnitsAndLaysOutOneGaugePerUnit) {
  EXPECT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
      << "no font with Chinese glyphs (scripts/install-deps.sh installs one)";
  struct Case {
    int units;
    int gaugesShown;
    int memoHeight;
    std::vector<int> tops;
  };
  for (const Case& c : {Case{1, 1, 436, {466}}, Case{6, 8, 300, {331, 350, 369, 389, 408, 427, 446, 466}}}) {
    SCOPED_TRACE(c.units);
    WindowUnderTest t(c.units);
    ASSERT_TRUE(t.findUnits());
    t.window->refresh();
    EXPECT_EQ(t.window->windowTitle().toStdString(), "Tarvel200IMOT Programmer");
    EXPECT_EQ(t.window->width(), 919);
    EXPECT_EQ(t.window->height() - t.window->menuBar()->height(), 591) << "the client area";
    EXPECT_EQ(t.window->minimumSize(), t.window->maximumSize()) << "a fixed border";
    ASSERT_FALSE(t.boxes.empty());
    EXPECT_NE(t.boxes[0].text.find("没有找到，请确认！"), std::string::npos) << "no firmware file in this directory";

    EXPECT_EQ(t.widget<QLabel>("InfoPanel")->text().toStdString(), t.model->InfoPanel.caption);
    EXPECT_NE(t.model->InfoPanel.caption, "Device = ??????");
    EXPECT_EQ(t.widget("InfoMemo")->height(), c.memoHeight);
    for (int i = 0; i < kMaxUnits; ++i) {
      QProgressBar* g = t.gauge(i);
      EXPECT_EQ(!g->isHidden(), i < c.gaugesShown) << i;
      if (i < c.gaugesShown) {
        EXPECT_EQ(g->y(), c.tops[static_cast<size_t>(i)]) << i;
      }
    }
    // The menus as the model has them: captions, shortcuts, and items hidden until a family shows them.
    for (Control* control : t.model->Controls()) {
      auto* item = dynamic_cast<MenuItem*>(control);
      if (!item || item->parent == nullptr || item->parent == &t.model->InfoMemo) continue;
      QAction* a = t.action(item->name);
      ASSERT_TRUE(a);
      EXPECT_EQ(a->text().toStdString(), item->caption);
      EXPECT_EQ(a->shortcut(), QKeySequence(Qs(item->shortcut))) << item->name;
      EXPECT_EQ(a->isVisible(), item->visible) << item->name;
    }
    EXPECT_FALSE(t.action("LoadEepDataFile1")->isVisible());
    EXPECT_EQ(t.action("ReadOptionByte1")->shortcut(), QKeySequence("Ctrl+O"));
    Screenshot(*t.window, "startup-" + std::to_string(c.units) + "-units");
  }
}

TEST(MainWindow, ChipFromTheDialogFileFromTheFileDialogAndADownloadToEveryUnit) {
  WindowUnderTest t(4);
  ASSERT_TRUE(t.findUnits());
  t.chooseChip("IMD111T-6F040");
  EXPECT_EQ(t.modalForms, std::vector<std::string>{"TChipSelForm"});
  EXPECT_EQ(t.widget<QLineEdit>("MCUNameEdit")->text().toStdString(), "IMD111T-6F040");
  EXPECT_EQ(t.widget<QLabel>("lbFlashSize")->text().toStdString(), "Flash 容量：256 KB, No EEP.");
  EXPECT_TRUE(t.widget("AutoSpdBtn")->isHidden());
  EXPECT_FALSE(t.widget("SpdBtnProg")->isHidden());
  EXPECT_FALSE(t.widget("GroupBoxCfg")->isEnabled());
  EXPECT_FALSE(t.window->findChild<QMenu*>("ReadCommand")->menuAction()->isEnabled());

  t.loadFile(Sample("demo.ldf"));
  ASSERT_EQ(t.fileDialogs.size(), 1u);
  EXPECT_EQ(t.fileDialogs[0].name, "OpenDialog1");
  EXPECT_EQ(t.fileFilters[0], (QStringList{"All Files (*.*) (*.*)", "All iMotion Files (*.ldf) (*.[lL][dD][fF])"}));
  EXPECT_EQ(t.count(Format("> 06:00:00 File \"%s\" has been loaded!", Sample("demo.ldf").string())), 1u);
  EXPECT_EQ(t.window->hexViewer()->model()->rowCount(), t.model->HexViewer.rowCount());
  EXPECT_GT(t.model->HexViewer.rowCount(), 0);

  t.clickButton("SpdBtnDownLoad");
  ASSERT_TRUE(t.waitIdle());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t.count(Format("> 06:00:00 C%d : 数据下载成功！", i + 1)), 1u) << i;
  ExpectGaugesFullAndBlue(t, 4);
  Screenshot(*t.window, "download-imotion");

  // 退出 closes the ports and the window, which writes the log.
  t.clickButton("SpdBtnExit");
  EXPECT_TRUE(t.model->Closed);
  EXPECT_FALSE(t.window->isVisible());
  const auto logDir = t.dir / "GenZPNxLogS";
  ASSERT_TRUE(std::filesystem::is_directory(logDir));
  EXPECT_FALSE(std::filesystem::is_empty(logDir));
}

TEST(MainWindow, AutomaticSequenceByButtonSpaceAndEnter) {
  WindowUnderTest t(4);
  ASSERT_TRUE(t.findUnits());
  t.chooseChip("SC95F750x", 1);
  t.files.push_back(Sample("demo.hex").string());
  t.key(Qt::Key_F3);  // "&Load Object File(Clear Buffer)"
  ASSERT_EQ(t.fileDialogs.size(), 1u);
  EXPECT_EQ(t.count(Format("> 06:00:00 File \"%s\" has been loaded!", Sample("demo.hex").string())), 1u);

  t.clickButton("AutoSpdBtn");
  ASSERT_TRUE(t.waitIdle());
  ExpectGaugesFullAndBlue(t, 4);
  t.key(Qt::Key_Space);
  ASSERT_TRUE(t.waitIdle());
  t.key(Qt::Key_Return, t.widget("InfoMemo"));  // the window sees the key before the panel
  ASSERT_TRUE(t.waitIdle());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t.count(Format("> 06:00:00 C%d : Flash数据校验成功！", i + 1)), 3u) << i;
  ExpectGaugesFullAndBlue(t, 4);
  Screenshot(*t.window, "auto-sequence");
  // The reference picture of the window after a successful run.
  Screenshot(*t.window, "main-window-reference");
}

TEST(MainWindow, AFailingUnitsGaugeTurnsRedAndTheOthersStayBlue) {
  WindowUnderTest t(2, {"--verify-corrupt", "1:0x1234"});
  ASSERT_TRUE(t.findUnits());
  t.chooseChip("SC92F848x", 1);
  t.dir.Write("fw.bin", std::vector<uint8_t>(16384, 0x3C));
  t.loadFile(t.dir / "fw.bin");  // a binary file asks where it goes: the offset dialog, confirmed as shown
  EXPECT_EQ(t.modalForms.back(), "TFormOfsAddr");
  t.clickButton("AutoSpdBtn");
  ASSERT_TRUE(t.waitIdle());
  EXPECT_EQ(t.boxes.back().text.substr(0, 26), "Chip 1: Address=0x00001234");
  EXPECT_EQ(t.count("> 06:00:00 C1 : 数据编程校验错误!"), 1u);
  QProgressBar* failed = t.gauge(0);
  EXPECT_EQ(failed->property("gaugeColour").toString(), "red");
  EXPECT_TRUE(Red(GaugeFill(*failed))) << GaugeFill(*failed).name().toStdString();
  ExpectFullAndBlue(t, 1);
  Screenshot(*t.window, "unit-fails");
}

TEST(MainWindow, WidgetsFollowTheFamilySetUp) {
  struct Case {
    const char* chip;
    int vendor;
    std::vector<const char*> shown, hidden, disabled;
  };
  const Case cases[] = {
      {"Z51F6412ARX", 0, {"BtnOptionCfg", "CheckBoxOpt", "SpdBtnWrtOPB", "AutoSpdBtn"}, {"ReadChipData", "BitBtnLdBSL"}, {}},
      {"SC95F750x", 1, {"BtnOptionCfg", "AutoSpdBtn"}, {"ChkBoxCCX", "LabelDEVA"}, {}},
      {"ANX7447xx", 4, {"ReadChipData"}, {"AutoSpdBtn", "SpdBtnErase", "SpdBtnProg", "SpdBtnVerify", "BtnOptionCfg"}, {}},
      {"HC8AT3541-T32", 6, {"PanelPOLY", "SpdBtnISNH"}, {"ButtonCfgSN", "ReadChipData"}, {}},
      {"LE5010AI", 7, {"BitBtnLdBSL", "LabelDEVA", "EditDevAdr"}, {"AutoSpdBtn", "SpdBtnProg"}, {}},
      {"IMD111T-6F040", 8, {"SpdBtnProg"}, {"AutoSpdBtn", "BitBtnLdBSL", "ChkBoxBlkEr", "RadioGrpBKF"},
       {"GroupBoxCfg", "RadioGrpSpdF", "RadioGpVolt"}},
  };
  WindowUnderTest t(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    t.chooseChip(c.chip, c.vendor);
    ASSERT_EQ(t.model->Chip.ChipName, c.chip);
    for (const char* name : c.shown) EXPECT_FALSE(t.widget(name)->isHidden()) << name;
    for (const char* name : c.hidden) EXPECT_TRUE(t.widget(name)->isHidden()) << name;
    for (const char* name : c.disabled) EXPECT_FALSE(t.widget(name)->isEnabled()) << name;
    // And every widget as its control says, whatever the family.
    for (Control* control : t.model->Controls()) {
      QWidget* w = t.window->findChild<QWidget*>(Qs(control->name));
      if (!w || dynamic_cast<PageControl*>(control) || dynamic_cast<MenuItem*>(control)) continue;
      // An edit or spin edit sits in a row with its caption.
      QWidget* row = t.window->findChild<QWidget*>(Qs(control->name + "_row"));
      QWidget* outer = row ? row : w;
      EXPECT_EQ(outer->isHidden(), !control->visible) << control->name;
      EXPECT_EQ(outer->testAttribute(Qt::WA_ForceDisabled), !control->enabled) << control->name;
    }
    auto* views = t.widget<QTabWidget>("ViewPageCtrl");
    EXPECT_EQ(views->isTabVisible(2), t.model->TabSheetEEP.visible);
    EXPECT_EQ(views->isTabVisible(3), t.model->TabSheetCfg.visible);
    auto* settings = t.widget<QTabWidget>("PageControlSet");
    EXPECT_EQ(settings->isTabVisible(0), c.vendor == 1) << "the chip-parameter page is SC9x's";
    EXPECT_EQ(settings->currentIndex(), t.model->PageControlSet.activePage);
    Screenshot(*t.window, std::string("family-") + std::to_string(c.vendor));
  }
}

TEST(MainWindow, HexViewsAreLazyGridsWithTheModelsGeometry) {
  WindowUnderTest t(0);
  t.chooseChip("LE5010AIE", 7);  // 1 MiB at 0x18000000
  t.dir.Write("end.hex", std::string(":02000004180FD3\r\n:10FFF000414243447F800A010203040506070809C1\r\n:00000001FF\r\n"));
  t.loadFile(t.dir / "end.hex");
  QTableView* grid = t.window->hexViewer();
  QAbstractItemModel* m = grid->model();
  ASSERT_EQ(m->rowCount(), 65536);
  ASSERT_EQ(m->columnCount(), kViewColumns);
  const QModelIndex last = m->index(65535, 0);
  EXPECT_EQ(m->data(last).toString(), "0x180FFFF0");
  EXPECT_EQ(m->data(m->index(65535, 1)).toString(), "41");
  EXPECT_EQ(m->data(m->index(65535, 17)).toString(), QString("ABCD\x7f") + QString(11, '.'));
  EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), "  0");
  EXPECT_EQ(m->headerData(16, Qt::Horizontal).toString(), "  F");
  EXPECT_EQ(grid->columnWidth(0), kViewAddressWidth);
  EXPECT_EQ(grid->columnWidth(5), kViewByteWidth);
  EXPECT_EQ(grid->columnWidth(17), kViewTextWidth);
  EXPECT_EQ(grid->rowHeight(65535), kViewRowHeight);
  EXPECT_EQ(t.window->findChild<QTableView*>("EEPDataView")->columnWidth(0), kViewEepAddressWidth);
  t.widget<QTabWidget>("ViewPageCtrl")->setCurrentIndex(1);
  grid->scrollToBottom();
  Screenshot(*t.window, "hex-view-end");

  // The whole flash image, as large as the program keeps it: rows are still only made when shown.
  t.model->HexViewer.ShowLinear(t.model->Image->FlashImage, 0, 0, static_cast<int>(kFlashImageSize / 16));
  t.window->refresh();
  ASSERT_EQ(m->rowCount(), static_cast<int>(kFlashImageSize / 16));
  grid->scrollToBottom();
  EXPECT_EQ(m->data(m->index(m->rowCount() - 1, 0)).toString(), "0x00200800");
  // A byte rewritten in place shows once the model says its rows changed.
  t.model->Image->FlashImage[16] = 0xAB;
  t.model->Chip.FlashStart = 0;
  t.model->RefreshFlashRows(16);
  EXPECT_EQ(m->data(m->index(1, 1)).toString(), "AB");
}

TEST(MainWindow, InformationPanelMirrorsTheLogAndItsPopUpMenuClearsAndCopies) {
  WindowUnderTest t(0);
  InfoPanelView* memo = t.window->infoMemo();
  auto shown = [&] {
    QCoreApplication::processEvents();
    QStringList rows;
    for (int r = 0; r < memo->model()->rowCount(); ++r) rows << memo->model()->index(r, 0).data().toString();
    return rows.join('\n').toStdString();
  };
  auto logText = [&] { return t.model->Log.Text().substr(0, t.model->Log.Text().size() - 1); };
  EXPECT_EQ(shown(), logText());
  for (int i = 0; i < 5000; ++i) t.model->Log.Line(Format("0x%0.8x : block dump line", i * 16));
  EXPECT_TRUE(shown() == logText()) << "a burst of lines arrives whole";
  QScrollBar* bar = memo->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum()) << "the panel follows the newest line";
  bar->setValue(0);
  t.model->Log.Line("while the user reads");
  shown();
  EXPECT_EQ(bar->value(), 0) << "a user reading back is not moved";
  // A line wider than the panel can be scrolled to.
  t.model->Log.Line(std::string(300, 'W'));
  shown();
  EXPECT_GT(memo->columnWidth(0), memo->viewport()->width());
  EXPECT_EQ(memo->editTriggers(), QAbstractItemView::NoEditTriggers);

  QApplication::clipboard()->setText("before");
  memo->clearSelection();
  t.window->copyInformationAction()->trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "before") << "nothing selected copies nothing";
  memo->selectRow(0);
  memo->selectionModel()->select(memo->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  t.window->copyInformationAction()->trigger();
  const std::string expected = std::string(t.model->Log.lines()[0]) + "\n" + std::string(t.model->Log.lines()[1]);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
  EXPECT_EQ(t.model->Clipboard, expected);

  t.window->clearInformationAction()->trigger();
  EXPECT_EQ(t.model->Log.size(), 0u);
  EXPECT_EQ(shown(), "");
  t.model->Log.MainMessage("after clearing");
  EXPECT_EQ(shown(), "> 06:00:00 after clearing");
  // Cleared and refilled with more lines than before before the panel looked: it shows the log as it is.
  t.model->Log.Clear();
  for (int i = 0; i < 3; ++i) t.model->Log.Line(Format("refilled %d", i));
  EXPECT_EQ(shown(), "refilled 0\nrefilled 1\nrefilled 2");
  Screenshot(*t.window, "information-panel");
}

}  // namespace
}  // namespace tarvel
