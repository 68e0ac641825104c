#include "ui/GenMainZPN.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <stdexcept>

#include "base/Files.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "chips/ChipSelectZPN.h"
#include "chips/CfgKF32xRT.h"
#include "chips/OptionBytes.h"
#include "image/IntelHex.h"
#include "image/LoadSummary.h"
#include "image/RawBinary.h"
#include "image/SRecord.h"
#include "link/SPCOMMA.h"

namespace tarvel {
namespace {

constexpr const char* kNoChipSelected = "请先选择芯片型号！";
constexpr const char* kMainFilterImotion = "All Files (*.*)|*.*|All iMotion Files (*.ldf)|*.ldf";
constexpr const char* kMainFilter =
    "All Files (*.*)|*.*|All Data Files (*.Bin,*.hex,*.s19)|*.Bin;.hex;*.s19;*.mot|All SoC Project "
    "Files(*.socprj)|*.socprj|All Hex/Binary Files (*.Hex,*.S1*,*.Bin,*.socprj)|*.Hex;*.S1*;*.Bin;*.socprj|All "
    "ELF Files(*.elf)|*.elf";
constexpr const char* kOtpFilter =
    "All Binary Files (*.Bin)|*.bin|All Object Files(*.S19,*.HEX)|*.S19;*.HEX|All Hex/Binary Files "
    "(*.HEX,*.S1*,*.Bin)|*.Hex;*.S1*;*.Bin";
constexpr const char* kSaveFilter =
    "All Binary Files(*.BIN)|*.BIN|Intel Hex Files(*.HEX)|*.HEX|Motorola S-record Files(*.mot)|*.S19";

FileDialog OpenDialog(std::string name, std::string filter) {
  FileDialog d;
  d.name = std::move(name);
  d.filter = std::move(filter);
  return d;
}

FileDialog SaveDialog1() {
  FileDialog d;
  d.save = true;
  d.name = "SaveDialog1";
  d.filter = kSaveFilter;
  d.defaultExt = "bin";
  return d;
}

// Gauge tops and the information panel's height for N units.
struct GaugeLayout {
  int shown;
  std::array<int, kMaxUnits> tops;
  int memoHeight;
};

GaugeLayout LayoutFor(int units) {
  if (units <= 1) return {1, {466}, 436};
  if (units <= 4) return {4, {408, 427, 446, 466}, 376};
  if (units <= 8) return {8, {331, 350, 369, 389, 408, 427, 446, 466}, 300};
  return {10, {292, 312, 331, 350, 369, 389, 408, 427, 446, 466}, 262};
}

size_t Utf8Length(std::string_view s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

int ParseIndex(std::string_view value) {
  int n = -1;
  const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (ec != std::errc() || p != value.data() + value.size()) return -1;
  return n;
}

}  // namespace

TGenMFrmZPN::TGenMFrmZPN(EventLoop& loop, DialogService& dialogs, std::filesystem::path programDir, InfoLog::Clock clock,
                         UnitOperations::PortFactory ports)
    : ProgramDir(std::move(programDir)),
      Log(std::move(clock)),
      Dialogs(dialogs),
      Loop(loop),
      Ops(loop, Log, dialogs, Chip, *Image, Random,
          ports ? std::move(ports)
                : UnitOperations::PortFactory([](EventLoop& l) { return MakeUnitPort(l); })),
      LogCfgForm(dialogs, ProgramDir) {
  PortPlaces.programDir = ProgramDir;
  for (int i = 0; i < kChannelCount; ++i) Ops.attachGauge(i, &Gauges[static_cast<size_t>(i)]);
  Ops.onInfoPanel = [this](const std::string& text) { InfoPanel.caption = text; };
  Ops.searchPorts = [this] {
    SearchPortList();
    return ComboBoxCOM.items;
  };
  Ops.onSerialChanged = [this](uint32_t serial) {
    SNEdit1.text = ChkBoxSNDP.checked ? Format("%u", serial) : Format("0x%0.8x", serial);
  };
  Ops.onFlashRowsChanged = [this](uint32_t address) { RefreshFlashRows(address); };
  Ops.onFlashRead = [this] { ShowFlashView(); };
  Ops.onEepRead = [this] { ShowEepView(); };
  Ops.onOptionRead = [this](int ch, std::span<const uint8_t> payload) { ReportOptionRead(ch, payload); };
  Ops.onFirmwareUpgradeNeeded = [this](int ch) {
    if (Ops.firmware.valid) {
      Ops.StartFirmwareUpgrade(ch);
      return;
    }
    // Without a usable firmware file the unit cannot be brought up to date; say so rather than drop it.
    Ops.ChannelMessage(ch, "This unit needs a firmware upgrade, but there is no valid firmware file.");
  };
  AboutForm.LabelAT.text = "Tarvel200IMOT iMOTION Programmer";

  // What the window hides or disables until a family or a setting shows it.
  for (Control* c : std::initializer_list<Control*>{&SpdBtnLdPrj, &SpdBtnWrtOPB, &ReadChipData, &CheckBoxOpt, &ChkBoxCCX,
                                                    &BtnOptionCfg, &BitBtnLdBSL, &TabSheetCP, &ProductEdit,
                                                    &LoadEepDataFile1, &SaveEepDatatoFile1, &WriteOptionByte1,
                                                    &WriteEepDataMemory1, &ReadEEPMemory1, &ReadOptionByte1})
    c->visible = false;
  for (Control* c : std::initializer_list<Control*>{&SNEdit1, &GainEdit, &AddrEdit, &SNOrderChk, &ChkBoxPCSN,
                                                    &SpinEditNum, &SpinEditIn, &SpinEditOut})
    c->enabled = false;
  MCUNameEdit.readOnly = true;
  lbFlashSize.text = "";

  // Where each control sits.
  for (Control* c : std::initializer_list<Control*>{&MCUNameEdit, &DevButton, &lbFlashSize, &RadioGpVolt, &RadioGrpSpdF,
                                                    &ChkBoxEEP, &ChkBoxBlkEr, &CheckBoxOpt, &ChkBoxCCX, &BtnOptionCfg,
                                                    &BitBtnLdBSL})
    c->parent = &GroupBoxChip;
  for (PageControl* page : PageControlSet.pages) page->parent = &GroupBoxCfg;
  for (Control* c : std::initializer_list<Control*>{&SpinEditEST, &SpinEditPGTM1, &SpinEditPGTM2}) c->parent = &TabSheetCP;
  for (Control* c : std::initializer_list<Control*>{&CheckBoxSN, &SNEdit1, &GainEdit, &AddrEdit, &SNOrderChk, &ChkBoxPCSN,
                                                    &ChkBoxSNDP, &ButtonCfgSN, &LabelDEVA, &EditDevAdr, &PanelPOLY})
    c->parent = &TabSheet1;
  SpdBtnISNH.parent = SpdBtnUsrID.parent = &PanelPOLY;
  for (Control* c : std::initializer_list<Control*>{&CheckBoxCtrl, &SpinEditNum, &ChkBoxRunSHT, &SpinEditRTM, &RadioGrpBKF,
                                                    &ChkBoxAuto, &SpinEditIn, &SpinEditOut})
    c->parent = &TabSheet2;
  for (Control* c : std::initializer_list<Control*>{&ChkBoxVDD, &CheckBoxRun, &SpinEditVddTim, &SpinEditPWDTim, &RadioGrpRST})
    c->parent = &TabSheet3;
  ComboBoxCOM.parent = BitBtnFindDev.parent = &GroupBoxCom;
  for (Control* c : std::initializer_list<Control*>{&Execute1, &LoadMoreFilenotClearBuffder1, &LoadEepDataFile1, &SaveFile1,
                                                    &SaveEepDatatoFile1, &SavetoProjectFile1, &LoadFromProjectFile1,
                                                    &ConfigLogFile1, &ShowOptionData1, &Exit1})
    c->parent = &FileMenu;
  for (Control* c : std::initializer_list<Control*>{&Download1, &AutoProgram1, &BlankCheck1, &EraseChip1, &Programming1,
                                                    &Verification1, &WriteOptionByte1, &WriteEepDataMemory1,
                                                    &DoFirmwareUpgrade1})
    c->parent = &CommandMenu;
  for (Control* c : std::initializer_list<Control*>{&ReadMainMemory1, &ReadEEPMemory1, &ReadOptionByte1, &ReadChipCheckSum1,
                                                    &ReadChipInformation1, &ReadSpecificAddress1})
    c->parent = &ReadCommand;
  About1.parent = &HelpMenu;
  ClearInformation1.parent = CopyInformation1.parent = &InfoMemo;

  LayoutGauges(Ops.unitCount);
  registerCommands();
  Timer1 = Loop.addTimer(std::chrono::milliseconds(10), [this] { Timer1Timer(); });
  Timer2 = Loop.addTimer(std::chrono::milliseconds(100), [this] { Timer2Timer(); });
  Loop.setTimerEnabled(Timer2, false);
}

TGenMFrmZPN::~TGenMFrmZPN() {
  Loop.removeTimer(Timer1);
  Loop.removeTimer(Timer2);
  Ops.CloseAllPorts();
}

void TGenMFrmZPN::Timer1Timer() {
  Ops.Tick();
  // The unattended download with "OFF": once every unit found has its download, say so and end.
  if (NoRestartMode && !Closed && Ops.downloadCount != 0 && Ops.downloadCount == Ops.foundCount) {
    try {
      WriteFileAtomically(ProgramDir / kResultFile, std::string_view("Download Success\r\n"));
    } catch (const std::exception& e) {
      Log.MainMessage(e.what());
    }
    Close();
  }
}

void TGenMFrmZPN::Timer2Timer() {
  if (SearchPending) {
    SearchPending = false;
    BitBtnFindDevClick();
  }
  if (Ops.foundCount >= Ops.unitCount) {
    Loop.setTimerEnabled(Timer2, false);
    if (UnattendedMode) {
      if (!std::filesystem::exists(ProjectPath)) {
        const std::string text = Format("File of %s is not found!", ProjectPath);
        Log.MainMessage(text);
        Dialogs.plain(text);
        return;
      }
      if (LoadProjectFile(ProjectPath) != kProjectOk) return;
      Ops.fileLoaded = ObjectFileLoaded;
      Ops.objectFileName = ObjectFileName;
      UnattendedDownloadStarted = true;
      for (int i = 0; i < Ops.unitCount && i < kChannelCount; ++i) {
        Ops.channel(i).link.ResetReceive();
        Ops.StartDownload(i);
      }
    }
    return;
  }
  // Upgrades started by the search: once all have finished, search again, after half a second.
  if (Ops.upgradeStarted && !Ops.AnyUpgrading()) {
    Ops.upgradeStarted = false;
    const auto id = std::make_shared<EventLoop::TimerId>(0);
    *id = Loop.addTimer(std::chrono::milliseconds(500), [this, id] {
      Loop.removeTimer(*id);
      BitBtnFindDevClick();
    });
  }
}

void TGenMFrmZPN::DoFirmwareUpgrade1Click() {
  const std::filesystem::path file = ProgramDir / kFirmwareFile;
  if (!std::filesystem::exists(file)) {
    Ops.firmware.valid = FirmwareFileValid = false;
    Dialogs.plain("文件\"" + file.string() + "\"没有找到，请确认！");
    return;
  }
  if (!Ops.firmware.valid || Ops.foundCount == 0) {
    Dialogs.plain("No Device is Connected!");
    return;
  }
  // Every unit found, wherever it sits: a unit missing from the search leaves a gap in the channels.
  for (int i = 0; i < Ops.unitCount && i < kChannelCount; ++i) {
    if (!Ops.channel(i).connected) continue;
    Ops.channel(i).link.ResetReceive();
    Ops.StartFirmwareUpgrade(i);
  }
}

void TGenMFrmZPN::BitBtnFindDevClick() { Ops.SearchDevices(); }

void TGenMFrmZPN::ButtonCfgSNClick() {
  if (!Chip.ChipSelected || !ObjectFileLoaded) {
    Dialogs.warning("请先选择芯片并加载数据文件！");
    return;
  }
  TConfigSNForm form(Dialogs, Chip, *Image);
  if (Dialogs.showModal(form) != Button::OK) return;
  if (form.written == 0) ShowFlashView();
  if (form.written == 1 && Chip.EepSize > 0) ShowEepView();
}

void TGenMFrmZPN::SpdBtnHolyClick(const std::string& address) {
  THolySNxUIDxFRM form(Dialogs, *Image, address);
  if (Dialogs.showModal(form) == Button::OK && form.written) ShowOptionView();
}

void TGenMFrmZPN::SavetoProjectFile1Click() {
  if (!Chip.ChipSelected) {
    Dialogs.information("未选择芯片型号！");
    return;
  }
  if (!ObjectFileLoaded) {
    Dialogs.information("未加载目标文件！");
    return;
  }
  FileDialog dialog;
  dialog.save = true;
  dialog.name = "SaveDialogPrj";
  dialog.title = "Save to Tarvel200xx Project File";
  dialog.filter = "Tarvelxx Project File(*.pmw)|*.pmw|All FIles(*.*)|*.*";
  dialog.defaultExt = "pmw";
  const auto answer = Dialogs.fileDialog(dialog);
  if (!answer) return;
  ApplyWindowSettings(CurrentWindowSettings(), Chip, *Image, Ops.settings);
  ProjectSetup setup;
  setup.ObjectFileName = ObjectFileName;
  setup.BlankFillIndex = static_cast<uint8_t>(RadioGrpBKF.itemIndex);
  setup.UnitCount = Ops.unitCount;
  const ProjectData data = CollectProjectData(Chip, *Image, Ops.settings, setup, Random);
  for (const std::string& note : SaveProject(answer->path, data, Random)) Log.MainMessage(note);
  const std::string text = std::string(kProjectCreatedText) + answer->path;
  Dialogs.plain(text);
  Log.MainMessage(text);
}

void TGenMFrmZPN::LoadFromProjectFile1Click() {
  FileDialog dialog;
  dialog.name = "OpenDialogPrj";
  dialog.title = "Open Tarvel200xx Project File";
  dialog.filter = "Tarvelxx Project Files(*.pmw)|*.pmw|All FIles(*.*)|*.*";
  dialog.defaultExt = "pmw";
  const auto answer = Dialogs.fileDialog(dialog);
  if (!answer) return;
  LoadProjectFile(answer->path);
}

int TGenMFrmZPN::LoadProjectFile(const std::filesystem::path& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  Log.MainMessage(Format(kProjectLoadLogFormat, path.string()) + date);
  ProjectLoad load = LoadProject(path);
  for (const std::string& note : load.Notes) Log.MainMessage(note);
  Log.MainMessage(load.Text);
  if (!UnattendedMode) Dialogs.plain(load.Text);
  if (load.Result != kProjectOk) return load.Result;

  const ProjectData& data = load.Data;
  ObjectFileLoaded = true;
  // The chip of the project as its family derives it, then everything the project stored over it.
  if (auto entry = FindChipByName(data.ChipName); entry && entry->chip.VendorIndex == data.VendorIndex)
    SelectChip(Chip, Image->OptionData, entry->chip);
  ApplyProjectData(data, Chip, *Image);
  ProjectWindowValues values = RestoreFromConfigBlock(data.ConfigurationBlock, Chip, *Image);
  Chip.ImageOffset = Chip.FlashStart;
  Chip.ChipFlashSizeKB = Chip.FlashSizeKB;
  setMcuName(Chip.ChipName);
  // The family set-up that the new name ran must not undo what the project says.
  values = RestoreFromConfigBlock(data.ConfigurationBlock, Chip, *Image);
  WriteLoadSummary(Log, *Image, SummaryWindowsOf(Chip));
  ShowFlashView();
  if (Chip.EepSize > 0) ShowEepView();
  ViewPageCtrl.activePage = 0;
  ObjectFileName = data.ObjectFileName;
  ProductEdit.text = ObjectFileName;
  StatusBar1[2].text = ObjectFileName;

  const ProjectControls c = ControlsAfterLoad(Chip, values, data);
  ChkBoxBlkEr.checked = c.ChkBoxBlkEr;
  RadioGpVolt.itemIndex = c.RadioGpVolt;
  RadioGrpSpdF.itemIndex = c.RadioGrpSpdF;
  Chip.BlankValueIsZero = c.BlankValueIsZero;
  RadioGrpRST.itemIndex = c.RadioGrpRST;
  ChkBoxVDD.checked = c.ChkBoxVDD;
  CheckBoxRun.checked = c.CheckBoxRun;
  ChkBoxCCX.checked = c.ChkBoxCCX;
  ChkBoxRunSHT.checked = c.ChkBoxRunSHT;
  SpinEditRTM.value = SpinEditRTM.clamp(Ops.settings.RunTime / 10 * 10);
  CheckBoxOpt.checked = c.CheckBoxOpt;
  ChkBoxAuto.checked = c.ChkBoxAuto;
  SpinEditIn.value = SpinEditIn.clamp(c.SpinEditIn);
  SpinEditOut.value = SpinEditOut.clamp(c.SpinEditOut);
  SpinEditVddTim.value = SpinEditVddTim.clamp(c.SpinEditVddTim);
  SpinEditPWDTim.value = SpinEditPWDTim.clamp(c.SpinEditPWDTim);
  SpinEditNum.value = SpinEditNum.clamp(c.SpinEditNum);
  CheckBoxCtrl.checked = c.CheckBoxCtrl;
  CheckBoxSN.checked = c.CheckBoxSN;
  SNOrderChk.checked = c.SNOrderChk;
  ChkBoxSNDP.checked = c.ChkBoxSNDP;
  GainEdit.text = c.GainEdit;
  SNEdit1.text = c.SNEdit1;
  AddrEdit.text = c.AddrEdit;
  ChkBoxAutoClick();
  CheckBoxCtrlClick();
  CheckBoxSNClick();
  RadioGrpBKF.itemIndex = data.BlankFillIndex & 1;
  StatusBar1[0].text = Format("文件校验和：0x%0.4x", Image->FileByteSum & 0xFFFF);
  StatusBar1[1].text = Format("芯片校验和：0x%0.4x", Image->FlashAcc16);
  // What the units get next: the project's settings, as if the window had just captured them.
  ApplyWindowSettings(CurrentWindowSettings(), Chip, *Image, Ops.settings);
  return kProjectOk;
}

void TGenMFrmZPN::StartOfflineProgrm1Click() {
  ComboBoxCOM.items.clear();
  Ops.StartOffline();
}

WindowSettings TGenMFrmZPN::CurrentWindowSettings() const {
  WindowSettings w;
  w.voltIndex = RadioGpVolt.itemIndex;
  w.speedIndex = RadioGrpSpdF.itemIndex;
  w.ccx = ChkBoxCCX.checked;
  w.runAndShut = ChkBoxRunSHT.checked;
  w.blankError = ChkBoxBlkEr.checked;
  w.eepEnabled = ChkBoxEEP.checked;
  w.optionEnabled = CheckBoxOpt.checked;
  w.autoDetect = ChkBoxAuto.checked;
  w.powerOffAfter = ChkBoxVDD.checked;
  w.runAfter = CheckBoxRun.checked;
  w.resetIndex = RadioGrpRST.itemIndex;
  w.vddTime = SpinEditVddTim.value;
  w.resetTime = SpinEditPWDTim.value;
  w.insertTime = SpinEditIn.value;
  w.removeTime = SpinEditOut.value;
  w.runTime = SpinEditRTM.value;
  w.deviceAddress = EditDevAdr.text;
  w.serialEnabled = CheckBoxSN.checked;
  w.bigEndian = SNOrderChk.checked;
  w.countLimited = CheckBoxCtrl.checked;
  w.hostSerial = ChkBoxPCSN.checked;
  w.maxCount = SpinEditNum.value;
  w.serialText = SNEdit1.text;
  w.gainText = GainEdit.text;
  w.addressText = AddrEdit.text;
  return w;
}

bool TGenMFrmZPN::RunReadCommand(ChipRead command) {
  if (command != ChipRead::EepMemory) ViewPageCtrl.activePage = 0;
  FanOutContext context;
  context.chipSelected = Chip.ChipSelected;
  context.fileLoaded = ObjectFileLoaded;
  context.objectFileName = ObjectFileName;
  context.window = CurrentWindowSettings();
  if (command != ChipRead::SpecificAddress) return Ops.StartRead(command, context);
  if (!Ops.ReadPreconditions(context)) return false;
  TSetAddressForm form(LastReadRange, Chip.FamilyCode);
  Dialogs.showModal(form);  // the read is sent whatever button closed the dialog
  return Ops.StartRead(command, context, LastReadRange.start, static_cast<uint16_t>(LastReadRange.length));
}

void TGenMFrmZPN::ReportOptionRead(int channel, std::span<const uint8_t> payload) {
  ReportOptionBytes(Chip.VendorIndex, Chip, channel, payload, Log);
}

bool TGenMFrmZPN::RunUnitCommand(UnitCommand command) {
  ViewPageCtrl.activePage = 0;
  // A KF32 chip's configuration area decides its configuration bytes before a download.
  if (command == UnitCommand::Download && Chip.ChipSelected && ObjectFileLoaded)
    DecodeKf32Config(Chip, Image->OptionData, Log);
  FanOutContext context;
  context.chipSelected = Chip.ChipSelected;
  context.fileLoaded = ObjectFileLoaded;
  context.objectFileName = ObjectFileName;
  context.window = CurrentWindowSettings();
  return Ops.FanOut(command, context);
}

// ---- registry -----------------------------------------------------------------------------------------

std::vector<Control*> TGenMFrmZPN::Controls() {
  std::vector<Control*> all = {
      &SpdBtnExit, &SpdBtnOpen, &SpdBtnLoadMore, &SpdBtnDownLoad, &SpdBtnLdPrj, &AutoSpdBtn, &SpdBtnBlankChk,
      &SpdBtnErase, &SpdBtnProg, &SpdBtnVerify, &SpdBtnWrtOPB, &ReadChipData, &ChipSett, &TabSheetFlash, &TabSheetEEP,
      &TabSheetCfg, &ViewPageCtrl, &LoadFileOTP, &GroupBoxChip, &MCUNameEdit, &DevButton, &lbFlashSize, &RadioGpVolt,
      &RadioGrpSpdF, &ChkBoxEEP, &ChkBoxBlkEr, &CheckBoxOpt, &ChkBoxCCX, &BtnOptionCfg, &BitBtnLdBSL, &GroupBoxCfg,
      &TabSheetCP, &TabSheet1, &TabSheet2, &TabSheet3, &PageControlSet, &SpinEditEST, &SpinEditPGTM1, &SpinEditPGTM2,
      &CheckBoxSN, &SNEdit1, &GainEdit, &AddrEdit, &SNOrderChk, &ChkBoxPCSN, &ChkBoxSNDP, &ButtonCfgSN, &LabelDEVA,
      &EditDevAdr, &PanelPOLY, &SpdBtnISNH, &SpdBtnUsrID, &CheckBoxCtrl, &SpinEditNum, &ChkBoxRunSHT, &SpinEditRTM,
      &RadioGrpBKF, &ChkBoxAuto, &SpinEditIn, &SpinEditOut, &ChkBoxVDD, &CheckBoxRun, &SpinEditVddTim, &SpinEditPWDTim,
      &RadioGrpRST, &GroupBoxCom, &ComboBoxCOM, &BitBtnFindDev, &InfoPanel, &InfoMemo, &ClearInformation1,
      &CopyInformation1, &ProductEdit, &FileMenu, &Execute1, &LoadMoreFilenotClearBuffder1, &LoadEepDataFile1,
      &SaveFile1, &SaveEepDatatoFile1, &SavetoProjectFile1, &LoadFromProjectFile1, &ConfigLogFile1, &ShowOptionData1,
      &Exit1, &CommandMenu, &Download1, &AutoProgram1, &BlankCheck1, &EraseChip1, &Programming1, &Verification1,
      &WriteOptionByte1, &WriteEepDataMemory1, &DoFirmwareUpgrade1, &ReadCommand, &ReadMainMemory1, &ReadEEPMemory1,
      &ReadOptionByte1, &ReadChipCheckSum1, &ReadChipInformation1, &ReadSpecificAddress1, &StartOfflineProgrm1,
      &HelpMenu, &About1,
  };
  for (GaugeControl& g : Gauges) all.push_back(&g);
  return all;
}

Control* TGenMFrmZPN::FindControl(std::string_view name) {
  for (Control* c : Controls())
    if (c->name == name) return c;
  return nullptr;
}

void TGenMFrmZPN::ApplyChanges(const std::vector<ControlChange>& changes) {
  for (const ControlChange& ch : changes) {
    Control* c = FindControl(ch.control);
    if (!c) throw std::logic_error("no control " + ch.control);
    using P = ControlChange::Property;
    switch (ch.property) {
      case P::Visible: c->visible = ch.number != 0; break;
      case P::Enabled: c->enabled = ch.number != 0; break;
      case P::Caption: c->caption = ch.text; break;
      case P::Checked:
        if (auto* b = dynamic_cast<CheckBox*>(c)) b->checked = ch.number != 0;
        break;
      case P::ItemIndex:
        if (auto* r = dynamic_cast<RadioGroup*>(c)) r->itemIndex = static_cast<int>(ch.number);
        break;
      case P::Text:
        if (auto* e = dynamic_cast<EditControl*>(c)) e->text = ch.text;
        if (auto* l = dynamic_cast<LabelControl*>(c)) l->text = ch.text;
        break;
      case P::Value:
        if (auto* s = dynamic_cast<SpinEdit*>(c)) s->value = s->clamp(ch.number);
        break;
      case P::ActivePage:
        if (auto* g = dynamic_cast<PageGroup*>(c)) g->activePage = static_cast<int>(ch.number);
        break;
    }
  }
}

void TGenMFrmZPN::SetControl(std::string_view name, std::string_view value) {
  Control* c = FindControl(name);
  const std::string n(name);
  if (!c) throw std::invalid_argument("no control named " + n);
  if (!Usable(*c)) throw std::invalid_argument(n + " cannot be used now (hidden or disabled)");
  auto bad = [&]() { throw std::invalid_argument(n + " does not take \"" + std::string(value) + "\""); };
  if (auto* b = dynamic_cast<CheckBox*>(c)) {
    if (value != "0" && value != "1") bad();
    b->checked = value == "1";
  } else if (auto* r = dynamic_cast<RadioGroup*>(c)) {
    const int i = ParseIndex(value);
    if (i < 0 || static_cast<size_t>(i) >= r->items.size()) bad();
    r->itemIndex = i;
  } else if (auto* s = dynamic_cast<SpinEdit*>(c)) {
    int64_t v = 0;
    const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc() || p != value.data() + value.size()) bad();
    s->value = s->clamp(v);
  } else if (auto* e = dynamic_cast<EditControl*>(c)) {
    if (e->readOnly) throw std::invalid_argument(n + " is read-only");
    if (e->maxLength > 0 && Utf8Length(value) > static_cast<size_t>(e->maxLength))
      throw std::invalid_argument(n + " takes at most " + std::to_string(e->maxLength) + " characters");
    e->text = value;
  } else if (auto* cb = dynamic_cast<ComboBoxControl*>(c)) {
    const int i = ParseIndex(value);
    if (i < 0 || static_cast<size_t>(i) >= cb->items.size()) bad();
    cb->itemIndex = i;
    cb->text = cb->items[static_cast<size_t>(i)];
  } else if (auto* g = dynamic_cast<PageGroup*>(c)) {
    const int i = ParseIndex(value);
    if (i < 0 || static_cast<size_t>(i) >= g->pages.size() || !g->pages[static_cast<size_t>(i)]->visible) bad();
    g->activePage = i;
  } else {
    throw std::invalid_argument(n + " has no value to set");
  }
  if (auto it = commands_.find(name); it != commands_.end()) it->second();
}

void TGenMFrmZPN::RegisterCommand(const std::string& control, std::function<void()> handler) {
  commands_[control] = std::move(handler);
}

bool TGenMFrmZPN::Click(std::string_view control) {
  Control* c = FindControl(control);
  auto it = commands_.find(control);
  if (!c || it == commands_.end() || !Usable(*c)) return false;
  it->second();
  return true;
}

bool TGenMFrmZPN::KeyDown(std::string_view key) {
  if (key == "Space" || key == "Enter") return Click(AutoSpdBtn.name);
  for (Control* c : Controls())
    if (auto* m = dynamic_cast<MenuItem*>(c); m && !m->shortcut.empty() && m->shortcut == key) return Click(m->name);
  return false;
}

void TGenMFrmZPN::registerCommands() {
  auto on = [this](std::initializer_list<const char*> names, std::function<void()> f) {
    for (const char* name : names) RegisterCommand(name, f);
  };
  on({"SpdBtnExit", "Exit1"}, [this] { Close(); });
  on({"SpdBtnOpen", "Execute1"}, [this] { SpdBtnOpenClick(); });
  on({"SpdBtnLoadMore", "LoadMoreFilenotClearBuffder1"}, [this] { SpdBtnLoadMoreClick(); });
  on({"LoadEepDataFile1", "LoadFileOTP"}, [this] { LoadEepDataFile1Click(); });
  on({"BitBtnLdBSL"}, [this] { BitBtnLdBSLClick(); });
  on({"SaveFile1"}, [this] { SaveFile1Click(); });
  on({"SaveEepDatatoFile1"}, [this] { SaveEepDatatoFile1Click(); });
  on({"ConfigLogFile1"}, [this] { ConfigLogFile1Click(); });
  on({"ShowOptionData1"}, [this] { ShowOptionData1Click(); });
  on({"BtnOptionCfg"}, [this] { BtnOptionCfgClick(); });
  on({"About1"}, [this] { About1Click(); });
  on({"DevButton"}, [this] { DevButtonClick(); });
  on({"ClearInformation1"}, [this] { ClearInformation1Click(); });
  on({"CopyInformation1"}, [this] { CopyInformation1Click({}); });
  on({"ChkBoxAuto"}, [this] { ChkBoxAutoClick(); });
  on({"CheckBoxCtrl"}, [this] { CheckBoxCtrlClick(); });
  on({"ChkBoxSNDP"}, [this] { ChkBoxSNDPClick(); });
  on({"CheckBoxSN"}, [this] { CheckBoxSNClick(); });
  on({"BitBtnFindDev"}, [this] { BitBtnFindDevClick(); });
  on({"ButtonCfgSN"}, [this] { ButtonCfgSNClick(); });
  on({"SpdBtnISNH"}, [this] { SpdBtnHolyClick("0x00"); });
  on({"SpdBtnUsrID"}, [this] { SpdBtnHolyClick("0x08"); });
  on({"StartOfflineProgrm1"}, [this] { StartOfflineProgrm1Click(); });
  on({"DoFirmwareUpgrade1"}, [this] { DoFirmwareUpgrade1Click(); });
  on({"SavetoProjectFile1"}, [this] { SavetoProjectFile1Click(); });
  on({"LoadFromProjectFile1", "SpdBtnLdPrj"}, [this] { LoadFromProjectFile1Click(); });
  on({"SpdBtnDownLoad", "Download1"}, [this] { RunUnitCommand(UnitCommand::Download); });
  on({"AutoSpdBtn", "AutoProgram1"}, [this] { RunUnitCommand(UnitCommand::AutoProgram); });
  on({"SpdBtnBlankChk", "BlankCheck1"}, [this] { RunUnitCommand(UnitCommand::BlankCheck); });
  on({"SpdBtnErase", "EraseChip1"}, [this] { RunUnitCommand(UnitCommand::Erase); });
  on({"SpdBtnProg", "Programming1"}, [this] { RunUnitCommand(UnitCommand::Program); });
  on({"SpdBtnVerify", "Verification1"}, [this] { RunUnitCommand(UnitCommand::Verify); });
  on({"SpdBtnWrtOPB", "WriteOptionByte1"}, [this] { RunUnitCommand(UnitCommand::WriteOption); });
  on({"WriteEepDataMemory1"}, [this] { RunUnitCommand(UnitCommand::WriteEep); });
  on({"ReadMainMemory1", "ReadChipData"}, [this] { RunReadCommand(ChipRead::MainMemory); });
  on({"ReadEEPMemory1"}, [this] { RunReadCommand(ChipRead::EepMemory); });
  on({"ReadOptionByte1"}, [this] { RunReadCommand(ChipRead::OptionSetting); });
  on({"ReadChipCheckSum1"}, [this] { RunReadCommand(ChipRead::CheckSum); });
  on({"ReadChipInformation1"}, [this] { RunReadCommand(ChipRead::ChipInformation); });
  on({"ReadSpecificAddress1"}, [this] { RunReadCommand(ChipRead::SpecificAddress); });
}

// ---- life cycle ---------------------------------------------------------------------------------------

void TGenMFrmZPN::FormShow(const std::vector<std::string>& commandLine) {
  PageControlSet.activePage = 2;
  Log.Line();
  Ops.unitCount = 1;
  LogCfgForm.ReadLogSettings();

  // The chip side: default parameters, images all 0xFF, no chip shown.
  Chip = StartupChipSettings();
  Image->FillForStartup();
  HexViewer.Clear();
  EEPDataView.Clear();
  CfgDataView.Clear();
  MCUNameEdit.text = kMcuNameStartText;
  TabSheetEEP.visible = false;
  PanelPOLY.visible = false;

  for (int i = 0; i < kChannelCount; ++i) {
    ProgrammerChannel& c = Ops.channel(i);
    c.state = OperationState::Idle;
    c.busy = c.connected = false;
    c.okCount = c.ngCount = 0;
  }
  Ops.foundCount = Ops.downloadCount = 0;
  SpinEditVddTim.value = SpinEditPWDTim.value = 100;
  SpinEditIn.value = SpinEditOut.value = 510;
  SearchPortList();
  Chip.VendorIndex = 0;

  std::error_code ec;
  std::filesystem::remove(ProgramDir / kResultFile, ec);
  LayoutGauges(Ops.unitCount);
  Log.MainMessage("Hello TarvelGenX User! ------ ");

  const std::filesystem::path firmware = ProgramDir / kFirmwareFile;
  FirmwareFileValid = false;
  Ops.firmware = {};
  Ops.firmwareVersion.clear();
  if (!std::filesystem::exists(firmware)) {
    Log.MainMessage("File of \"" + firmware.string() + "\" not Found!");
    Dialogs.plain("文件\"" + firmware.string() + "\"没有找到，请确认！");
  } else {
    try {
      Ops.firmware = ReadFirmwareFile(firmware);
    } catch (const std::exception& e) {
      Ops.firmware.reason = e.what();
    }
    FirmwareFileValid = Ops.firmware.valid;
    if (FirmwareFileValid)
      Ops.firmwareVersion = Ops.firmware.version;
    else
      Log.MainMessage("Firmware file \"" + firmware.string() + "\" is not valid: " + Ops.firmware.reason);
  }

  if (!commandLine.empty()) {
    Ops.downloadCount = 0;
    UnattendedMode = true;
    ProjectPath = commandLine[0];
    if (commandLine.size() > 1) {
      std::string word = commandLine[1];
      for (char& ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      NoRestartMode = word == "OFF";
      Ops.noRestart = NoRestartMode;
    }
    for (Control* c : std::initializer_list<Control*>{&SpdBtnWrtOPB, &AutoSpdBtn, &SpdBtnBlankChk, &SpdBtnErase,
                                                      &SpdBtnProg, &SpdBtnVerify, &SpdBtnOpen, &SpdBtnLoadMore})
      c->visible = false;
  }
  // The first tick of the 100 ms timer runs the device search.
  SearchPending = true;
  Loop.setTimerEnabled(Timer2, true);
}

void TGenMFrmZPN::SearchPortList() {
  try {
    const PortSearchResult r = SearchPorts(PortPlaces);
    ComboBoxCOM.items = r.ports;
    ComboBoxCOM.itemIndex = r.ports.empty() ? -1 : static_cast<int>(r.ports.size()) - 1;
    ComboBoxCOM.text = r.shownText;
    Ops.unitCount = r.unitCount;
  } catch (const std::exception& e) {
    // A settings file that cannot be read or holds a bad TOTDEV abandons the search; start-up goes on
    // with no units rather than stopping half way.
    ComboBoxCOM.items.clear();
    ComboBoxCOM.itemIndex = -1;
    ComboBoxCOM.text = kNoPortText;
    Ops.unitCount = 0;
    Dialogs.error(e.what());
  }
}

void TGenMFrmZPN::LayoutGauges(int units) {
  const GaugeLayout layout = LayoutFor(units);
  for (int i = 0; i < kMaxUnits; ++i) {
    Gauges[static_cast<size_t>(i)].visible = i < layout.shown;
    Gauges[static_cast<size_t>(i)].top = i < layout.shown ? layout.tops[static_cast<size_t>(i)] : -1;
  }
  InfoMemo.height = layout.memoHeight;
}

void TGenMFrmZPN::Close() {
  if (Closed) return;
  Closed = true;
  Ops.CloseAllPorts();  // the ports close before the log is written
  LogCfgForm.WriteLog(Log);
  if (onClose) onClose();
}

// ---- chip selection -----------------------------------------------------------------------------------

void TGenMFrmZPN::DevButtonClick() {
  TChipSelForm form(Chip, Image->OptionData);
  Dialogs.showModal(form);
  Chip.ChipFlashSizeKB = Chip.FlashSizeKB;
  setMcuName(Chip.ChipName);
}

void TGenMFrmZPN::ConfirmChip(const ChipDescriptor& chip) {
  SelectChip(Chip, Image->OptionData, chip);  // also keeps the chip's full flash size for the used-size scan
  setMcuName(Chip.ChipName);
}

void TGenMFrmZPN::setMcuName(const std::string& text) {
  if (MCUNameEdit.text == text) return;
  MCUNameEdit.text = text;
  MCUNameEditChange();
}

void TGenMFrmZPN::MCUNameEditChange() {
  if (!Chip.ChipSelected) return;
  HexViewer.Clear();
  EEPDataView.Clear();
  CfgDataView.Clear();
  ObjectFileLoaded = false;
  Log.MainMessage(Format("Chip \"%s\" has been selected!", MCUNameEdit.text));
  ApplyChanges(FamilySetup(Chip));
}

void TGenMFrmZPN::BtnOptionCfgClick() {
  const OptionDialogResult r = OpenOptionDialog(Chip.VendorIndex, Chip, *Image, Dialogs, CheckBoxOpt.checked);
  OptionChanged = r.optionChanged;
  if (r.refreshKf32View) ShowKf32ConfigView();
  Log.Line();
  CheckBoxOpt.checked = OptionChanged;
  if (r.setsOptionEnabled) Ops.settings.OptionEnabled = OptionChanged;
  if (Chip.VendorIndex == 1)
    Log.MainMessage(Image->OptionData[1] == 0x96 ? "芯片没有设置加密（可读）！" : "芯片已设置加密（不可读）！");
  Log.MainMessage(Format("Config Data Set is : 0x%0.2x%0.2x.", Chip.ConfigByte1, Chip.ConfigByte0));
  if (Chip.VendorIndex != 5) ShowOptionView();
}

void TGenMFrmZPN::ShowOptionData1Click() {
  if (!Chip.ChipSelected || Chip.VendorIndex >= 4) return;
  Log.Line();
  Log.Line("> Chip Option Data as Below: ");
  const int rows = Chip.VendorIndex == 1 ? 4 : Chip.PageSize / 16;
  for (int r = 0; r < rows; ++r) {
    std::string line = Format("  0x%0.2x :", r * 16);
    for (int i = 0; i < 16; ++i) line += Format(" %0.2x", Image->OptionData[static_cast<size_t>(r * 16 + i)]);
    Log.Line(line);
  }
}

// ---- files --------------------------------------------------------------------------------------------

LoadContext TGenMFrmZPN::loadContext() {
  return LoadContext{Chip, *Image, Dialogs, Log, [this] { Dialogs.showModal(FormOfsAddr); }};
}

void TGenMFrmZPN::applyOutcome(const LoadOutcome& outcome) {
  if (outcome.eepChecked) ChkBoxEEP.checked = *outcome.eepChecked;
  if (outcome.optionChecked) CheckBoxOpt.checked = *outcome.optionChecked;
  if (outcome.status) {
    StatusBar1[0].text = outcome.status->fileSum;
    StatusBar1[1].text = outcome.status->chipSum;
  }
  if (outcome.refreshFlashView) ShowFlashView();
  if (outcome.refreshEepView) ShowEepView();
  if (outcome.showKf32Config) {
    ShowKf32ConfigView();
    DecodeKf32Config(Chip, Image->OptionData, Log);
  }
  if (outcome.refreshOptionView) ShowOptionView();
}

void TGenMFrmZPN::mainLoad(bool clearing) {
  if (!Chip.ChipSelected) {
    Dialogs.information(kNoChipSelected);
    return;
  }
  FileDialog dialog = OpenDialog("OpenDialog1", Chip.VendorIndex == 8 ? kMainFilterImotion : kMainFilter);
  const auto answer = Dialogs.fileDialog(dialog);
  if (!answer) return;
  const std::filesystem::path path = answer->path;
  Log.MainMessage(Format("File \"%s\" has been loaded!", path.string()));
  if (clearing) {
    Image->BlankValue = BlankFill();
    Image->Clear(Image->BlankValue);
    // Statistics of an earlier file must not show up in this file's summary.
    Image->ResetLoadStatistics();
    ObjectFileName = path.filename().string();
    ProductEdit.text = ObjectFileName;
    StatusBar1[2].text = path.string();
  }
  LoadContext ctx = loadContext();
  ObjectFileLoaded = true;
  if (clearing && Chip.VendorIndex == 8)
    applyOutcome(LoadImotionFirmware(path, ctx));
  else
    applyOutcome(LoadObjectFile(path, ctx));
}

void TGenMFrmZPN::SpdBtnOpenClick() { mainLoad(true); }
void TGenMFrmZPN::SpdBtnLoadMoreClick() { mainLoad(false); }

void TGenMFrmZPN::LoadEepDataFile1Click() {
  if (!Chip.ChipSelected) {
    Dialogs.information(kNoChipSelected);
    return;
  }
  const auto answer = Dialogs.fileDialog(OpenDialog("OpenDialogOTP", kOtpFilter));
  if (!answer) return;
  Image->BlankValue = BlankFill();
  Image->EepImage.fill(Image->BlankValue);
  Log.MainMessage(Format("EEP Data file of \"%s\" hasn been loaded.", answer->path));
  LoadContext ctx = loadContext();
  applyOutcome(LoadEepDataFile(answer->path, ctx));
}

void TGenMFrmZPN::BitBtnLdBSLClick() {
  const auto answer = Dialogs.fileDialog(OpenDialog("OpenDialogOTP", kOtpFilter));
  if (!answer) return;
  Log.MainMessage(Format("File \"%s\" has been loaded!", answer->path));
  LoadContext ctx = loadContext();
  LoadBootData(answer->path, ctx);
}

void TGenMFrmZPN::SaveFile1Click() {
  if (!ObjectFileLoaded) return;
  const auto answer = Dialogs.fileDialog(SaveDialog1());
  if (!answer) return;
  const std::span<const uint8_t> flash(Image->FlashImage);
  switch (answer->filterIndex) {
    case 2:
      WriteHexFile(answer->path, flash, Chip.FlashStart, Chip.FlashStart, Chip.FlashEnd);
      break;
    case 3:
      WriteSRecordFile(answer->path, flash, Chip.FlashStart, Chip.FlashStart, Chip.FlashEnd);
      break;
    default:
      WriteBinaryFile(answer->path, flash, 0, static_cast<int64_t>(Chip.FlashEnd) - Chip.FlashStart);
      break;
  }
}

void TGenMFrmZPN::SaveEepDatatoFile1Click() {
  const auto answer = Dialogs.fileDialog(SaveDialog1());
  if (!answer) return;
  WriteBinaryFile(answer->path, Image->EepImage, 0, static_cast<int64_t>(Chip.EepSize) - 1);
}

void TGenMFrmZPN::ConfigLogFile1Click() {
  Dialogs.showModal(LogCfgForm);
  LogCfgForm.WriteLogSettings();  // however the dialog was closed
}

void TGenMFrmZPN::About1Click() { Dialogs.showModal(AboutForm); }

// ---- small handlers -----------------------------------------------------------------------------------

void TGenMFrmZPN::ClearInformation1Click() { Log.Clear(); }

void TGenMFrmZPN::CopyInformation1Click(std::string_view selectedText) {
  if (!selectedText.empty()) Clipboard = selectedText;
}

void TGenMFrmZPN::ChkBoxAutoClick() { SpinEditIn.enabled = SpinEditOut.enabled = ChkBoxAuto.checked; }

void TGenMFrmZPN::CheckBoxCtrlClick() { SpinEditNum.enabled = CheckBoxCtrl.checked; }

void TGenMFrmZPN::ChkBoxSNDPClick() {
  const uint32_t v = static_cast<uint32_t>(StrToInt(SNEdit1.text));
  SNEdit1.text = ChkBoxSNDP.checked ? Format("%u", v) : Format("0x%0.8x", v);
}

void TGenMFrmZPN::CheckBoxSNClick() {
  for (Control* c : std::initializer_list<Control*>{&AddrEdit, &SNEdit1, &GainEdit, &SNOrderChk, &ChkBoxPCSN})
    c->enabled = CheckBoxSN.checked;
}

// ---- views --------------------------------------------------------------------------------------------

void TGenMFrmZPN::ShowFlashView() {
  const int64_t bytes = static_cast<int64_t>(Chip.FlashEnd) - Chip.FlashStart + 1;
  HexViewer.ShowLinear(Image->FlashImage, Chip.FlashStart, 0, bytes > 0 ? static_cast<int>((bytes + 15) / 16) : 0);
  ObjectFileLoaded = true;
}

void TGenMFrmZPN::ShowEepView() {
  Image->UpdateEepChecksums(Chip.EepSize);
  Log.Line();
  Log.MainMessage(Format("EEP Data CRC/ACC CheckSum = 0x%0.4x/0x%0.4x", Image->EepCrc16, Image->EepAcc16));
  TabSheetEEP.visible = true;
  EEPDataView.ShowLinear(Image->EepImage, Chip.EepStart, 0, Chip.EepSize / 16);
  const uint8_t blank = BlankFill();
  const auto eep = std::span<const uint8_t>(Image->EepImage).first(std::min<size_t>(Chip.EepSize, kEepImageSize));
  ChkBoxEEP.checked = std::any_of(eep.begin(), eep.end(), [blank](uint8_t b) { return b != blank; });
}

void TGenMFrmZPN::ShowOptionView() {
  TabSheetCfg.visible = true;
  const int rows = Chip.VendorIndex == 6 ? 15 : (Chip.PageSize + 15) / 16;
  CfgDataView.ShowLinear(Image->OptionData, 0, 0, rows);
}

void TGenMFrmZPN::ShowKf32ConfigView() {
  TabSheetCfg.visible = true;
  CheckBoxOpt.checked = Chip.ConfigByte0 != 0 || Chip.ConfigByte1 != 0;
  auto& o = Image->OptionData;
  std::copy(o.begin() + 1024, o.begin() + 1056, o.begin() + 32);
  std::copy(o.begin() + 2048, o.begin() + 2080, o.begin() + 64);
  CfgDataView.ShowKf32Blocks(o);
}

void TGenMFrmZPN::ShowFileSummary() {
  const StatusTexts status = WriteLoadSummary(Log, *Image, SummaryWindowsOf(Chip));
  StatusBar1[0].text = status.fileSum;
  StatusBar1[1].text = status.chipSum;
}

void TGenMFrmZPN::RefreshFlashRows(uint32_t address) {
  const int row = static_cast<int>((address - Chip.FlashStart) / 16);
  if (onViewRowsChanged) onViewRowsChanged(HexViewer, row, 2);
}

}  // namespace tarvel
