// Every dialog of the program, drawn from its model, opened the way a user opens it, filled in through
// its widgets and confirmed; values it refuses keep it open. Each one leaves a screenshot.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include <tuple>

#include "base/Format.h"
#include "qt/FileFilters.h"
#include "qt/WindowUnderTest.h"

namespace tarvel {
namespace {

using testing::ReadText;
using testing::Screenshot;
using testing::WindowUnderTest;

template <typename W = QWidget>
W* In(ModelDialog& d, const char* name) {
  W* w = d.findChild<W*>(name);
  EXPECT_TRUE(w) << d.model().formName() << " has no " << name;
  return w;
}

void Type(ModelDialog& d, const char* edit, const QString& text) {
  auto* line = In<QLineEdit>(d, edit);
  if (!line) return;
  line->selectAll();
  QTest::keyClick(line, Qt::Key_Delete);
  QTest::keyClicks(line, text);
}

// A radio button takes clicks on its mark and its text only, not on the rest of its row.
void Choose(ModelDialog& d, const char* radio) {
  auto* b = In<QRadioButton>(d, radio);
  if (b) QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

void Ok(ModelDialog& d) { QTest::mouseClick(d.closeButton(Button::OK), Qt::LeftButton); }

TEST(Dialogs, FileFiltersBecomeQtFiltersThatMatchAnyLetterCase) {
  struct Case {
    std::string filter;
    QStringList expected;
  };
  const Case cases[] = {
      {"All Log Files(*.Log,*.Txt)|*.log;*.Txt", {"All Log Files(*.Log,*.Txt) (*.[lL][oO][gG] *.[tT][xX][tT])"}},
      {"All Files (*.*)|*.*|Project|*.pmw", {"All Files (*.*) (*.*)", "Project (*.[pP][mM][wW])"}},
      {"|*.s19", {"*.s19 (*.[sS]19)"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(QtNameFilters(c.filter), c.expected) << c.filter;
}

TEST(Dialogs, AboutAndTheLogSettings) {
  WindowUnderTest t(0);
  t.modal.push_back([](ModelDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "About");
    EXPECT_EQ(In<QLabel>(d, "LabelAT")->text().toStdString(), "Tarvel200IMOT iMOTION Programmer");
    EXPECT_EQ(In<QLabel>(d, "LabelVersion")->text().toStdString(), "Version V3.0");
    EXPECT_EQ(d.closeButton(Button::Cancel), nullptr) << "only OK";
    Ok(d);
  });
  t.key(Qt::Key_F1);
  EXPECT_EQ(t.modalForms, std::vector<std::string>{"TAboutForm"});

  const std::string chosen = t.dir.Write("line7.log", std::string()).string();
  t.files.push_back(chosen);
  t.modal.push_back([&](ModelDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "Config Log File.");
    Choose(d, "RadioGrpCreat_0");
    EXPECT_FALSE(In(d, "EditLogName")->isEnabled()) << "system naming";
    Choose(d, "RadioGrpCreat_1");
    EXPECT_TRUE(In(d, "EditLogName")->isEnabled()) << "customer naming";
    Choose(d, "RadioGrpMod_2");
    Type(d, "EditLogName", "");
    Ok(d);  // refused: the name is empty
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(t.boxes.back().text, "请输入有效的Log文件名称！");
    QTest::mouseClick(In<QAbstractButton>(d, "SpeedButtonOP"), Qt::LeftButton);  // 浏览
    EXPECT_EQ(In<QLineEdit>(d, "EditLogName")->text().toStdString(), chosen);
    Ok(d);
  });
  t.action("ConfigLogFile1")->trigger();
  EXPECT_EQ(t.fileDialogs.back().name, "OpenDialogLog");
  const std::string cfg = ReadText(t.dir / "GenLogX.cfg");
  EXPECT_EQ(cfg, "[ConfigLog]\r\nEnLog\r\nCustomer\r\nCusDef2\r\nSpcFile=" + chosen + "\r\n[EndCfg]\r\n");
}

TEST(Dialogs, ChipBinaryOffsetSaveAndFixedSerialData) {
  WindowUnderTest t(0);
  // "No" leaves everything as it was.
  t.modal.push_back([](ModelDialog& d) {
    EXPECT_EQ(d.closeButton(Button::Cancel)->text().toStdString(), "No");
    EXPECT_TRUE(In(d, "RadioGrpSelMF")->isHidden()) << "the dialog offers the iMOTION list only";
    QTest::mouseClick(d.closeButton(Button::Cancel), Qt::LeftButton);
  });
  t.clickButton("DevButton");
  EXPECT_FALSE(t.model->Chip.ChipSelected);
  EXPECT_EQ(t.widget<QLineEdit>("MCUNameEdit")->text().toStdString(), t.model->MCUNameEdit.text);

  t.chooseChip("SC92F848x", 1);
  std::vector<uint8_t> bytes(64);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x80 + i);
  t.files.push_back(t.dir.Write("part.bin", bytes).string());
  t.modal.push_back([&](ModelDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "设置BIN文件偏移地址");
    EXPECT_EQ(In<QLineEdit>(d, "EditOfsAddr")->text().toStdString(), "0x00000000");
    Type(d, "EditOfsAddr", "0xZZ");
    Ok(d);  // not a number: the default error box, and the dialog stays
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(t.boxes.back().kind, BoxKind::Error);
    Type(d, "EditOfsAddr", "0x100");
    Ok(d);
  });
  t.clickButton("SpdBtnOpen");
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), t.model->Image->FlashImage.begin() + 0x100));

  // A name typed without extension gets the dialog's default one.
  t.files.push_back((t.dir / "saved").string());
  t.key(Qt::Key_F2);
  EXPECT_EQ(t.fileDialogs.back().name, "SaveDialog1");
  EXPECT_TRUE(std::filesystem::exists(t.dir / "saved.bin"));

  t.widget<QTabWidget>("PageControlSet")->setCurrentIndex(1);  // "序列号设置"
  EXPECT_EQ(t.model->PageControlSet.activePage, 1);
  t.modal.push_back([&](ModelDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "Config S/N Constant");
    Ok(d);  // no data yet: said so, and the user may still type it
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(t.boxes.back().text, "请输入有效的序列号数据!");
    QTest::keyClicks(In<QLineEdit>(d, "EditDataSN"), "ab");
    EXPECT_EQ(In<QLineEdit>(d, "EditDataSN")->text().toStdString(), "AB") << "the field shows upper case";
    Ok(d);
  });
  t.clickButton("ButtonCfgSN");
  EXPECT_EQ(t.model->Image->FlashImage[0], 'A');
  EXPECT_EQ(t.model->Image->FlashImage[1], 'B');
}

TEST(Dialogs, ReadAddressAndUserDataInTheOptionArea) {
  WindowUnderTest t(1);
  ASSERT_TRUE(t.findUnits());
  t.chooseChip("HC8AT3541-T32", 6);
  t.widget<QTabWidget>("PageControlSet")->setCurrentIndex(1);
  t.modal.push_back([](ModelDialog& d) {
    EXPECT_EQ(In<QLineEdit>(d, "AddrEditSN")->text().toStdString(), "0x00");
    Choose(d, "RadioGroupFM_1");  // hexadecimal
    QTest::keyClicks(In<QLineEdit>(d, "EditDataSN"), "12 34");
    Ok(d);
  });
  t.clickButton("SpdBtnISNH");
  EXPECT_EQ(t.modalForms.back(), "THolySNxUIDxFRM");
  EXPECT_EQ(t.model->Image->OptionData[0], 0x12);
  EXPECT_EQ(t.model->Image->OptionData[1], 0x34);

  t.modal.push_back([&t](ModelDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "Specify Read Address");
    auto* length = In<QSpinBox>(d, "SpinEditRD");
    EXPECT_EQ(length->value(), 64);
    EXPECT_EQ(length->maximum(), t.model->Chip.FamilyCode != 0 ? 1024 : 256);
    Type(d, "EditAddr", "0x1238");
    length->setValue(32);
    Ok(d);
  });
  t.action("ReadSpecificAddress1")->trigger();
  EXPECT_EQ(t.modalForms.back(), "TSetAddressForm");
  EXPECT_EQ(t.model->LastReadRange.start, 0x1230u);
  EXPECT_EQ(t.model->LastReadRange.length, 32);
  ASSERT_TRUE(t.waitIdle());
}

// Each family's option-byte dialog, opened by "Set Option Byte": Cancel leaves the option bytes as they
// were; a different choice confirmed with OK lands in them, and the window's option check box follows.
TEST(Dialogs, OptionByteDialogOfEveryFamily) {
  struct Family {
    const char* chip;
    int vendor;
    int kfx;
    const char* form;
  };
  const Family families[] = {
      {"SC95F750x", 1, 0, "TSC95XxOpbForm"}, {"SC92F72xx", 1, 0, "TSC92XxOpbForm"},
      {"MC96F8316S", 3, 0, "TCfgAbovOpbF"},  {"Z51F3220SKX", 0, 0, "TZ51FxCfgOpbF"},
      {"KF8A100CSD", 5, 0, "TCfgChipOnXxF"}, {"KF32A156KQV", 5, 1, "TCfgKF32xxFrm"},
      {"HC8AT3541-T20", 6, 0, "THC8AT3XCfgFRM"},
  };
  WindowUnderTest t(0);
  for (const Family& f : families) {
    SCOPED_TRACE(f.chip);
    t.modal.push_back([f](ModelDialog& d) {
      d.model().setControl("RadioGrpSelMF", std::to_string(f.vendor));
      d.model().setControl("RadioGrpKFX", std::to_string(f.kfx));
      d.model().setControl("ListBoxCP", f.chip);
      d.refresh();
      Ok(d);
    });
    t.clickButton("DevButton");
    ASSERT_EQ(t.model->Chip.ChipName, f.chip);
    // What the dialogs write: the option area, or for KF8 the two configuration bytes.
    const auto settings = [&t] {
      return std::tuple(t.model->Image->OptionData, t.model->Chip.ConfigByte0, t.model->Chip.ConfigByte1);
    };
    const auto before = settings();

    t.modal.push_back([](ModelDialog& d) {
      EXPECT_FALSE(d.windowTitle().isEmpty());
      EXPECT_FALSE(d.findChildren<QComboBox*>().isEmpty() && d.findChildren<QRadioButton*>().isEmpty())
          << "a dialog without its settings";
      QTest::mouseClick(d.closeButton(Button::Cancel), Qt::LeftButton);
    });
    t.clickButton("BtnOptionCfg");
    EXPECT_EQ(t.modalForms.back(), f.form);
    EXPECT_TRUE(settings() == before) << "Cancel changed the option bytes";

    t.modal.push_back([](ModelDialog& d) {
      // The first setting moves one item on, by keyboard as a user would.
      if (d.findChild<QRadioButton*>("RadioGrpEncry_1")) {
        Choose(d, "RadioGrpEncry_1");
      } else {
        auto* combo = d.findChildren<QComboBox*>().value(0);
        ASSERT_TRUE(combo);
        EXPECT_GT(combo->count(), 1);
        combo->setFocus();
        QTest::keyClick(combo, combo->currentIndex() + 1 < combo->count() ? Qt::Key_Down : Qt::Key_Up);
      }
      Ok(d);
    });
    t.clickButton("BtnOptionCfg");
    EXPECT_FALSE(settings() == before) << "OK did not write the choice";
    t.window->refresh();
    EXPECT_EQ(t.widget<QCheckBox>("CheckBoxOpt")->isChecked(), t.model->CheckBoxOpt.checked);
    Screenshot(*t.window, std::string("option-") + f.form);
  }
}

}  // namespace
}  // namespace tarvel
