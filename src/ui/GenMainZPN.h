// TGenMFrmZPN: the main window as a model, without any widget toolkit. It owns the whole state of the
// host (image, chip settings, information log, forms, the state of every control) and holds the
// handlers of every command. Front ends render the controls and call the handlers; tarvelctl and the
// tests do the same.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Controls.h"
#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "base/RandomSource.h"
#include "chips/Catalogue.h"
#include "chips/ChipSettings.h"
#include "chips/ObjectLoad.h"
#include "image/MemoryImage.h"
#include "link/PortDiscovery.h"
#include "ops/ConfigSN.h"
#include "ops/UnitOperations.h"
#include "project/ConfigLog.h"
#include "project/HdlPrjRdWtRT.h"
#include "ui/About.h"
#include "ui/DataViews.h"
#include "ui/SetOfsAddr.h"
#include "ui/SetRdAddr.h"

namespace tarvel {

inline constexpr const char* kMcuNameStartText = "请选择目标MCU的型号...";
inline constexpr const char* kApplicationTitle = "Tarvel200IMOT iMOTION Chip Programmer";
inline constexpr const char* kResultFile = "ResDW.Txt";
inline constexpr const char* kFirmwareFile = "TarvelIMOT.FWR";

class TGenMFrmZPN {
 public:
  // `programDir`: where the program looks for its settings and result files. `ports` makes the serial
  // ports of the ten channels (by default TComm; tests give fakes).
  TGenMFrmZPN(EventLoop& loop, DialogService& dialogs, std::filesystem::path programDir,
              InfoLog::Clock clock = LocalTimeText, UnitOperations::PortFactory ports = {});
  ~TGenMFrmZPN();
  TGenMFrmZPN(const TGenMFrmZPN&) = delete;
  TGenMFrmZPN& operator=(const TGenMFrmZPN&) = delete;

  // ---- state ----
  std::filesystem::path ProgramDir;
  ChipSettings Chip;
  std::unique_ptr<MemoryImage> Image = std::make_unique<MemoryImage>();
  InfoLog Log;
  DialogService& Dialogs;
  bool ObjectFileLoaded = false;
  std::string ObjectFileName;
  bool OptionChanged = false;  // set by the family option dialogs
  EventLoop& Loop;
  RandomSource Random;
  UnitOperations Ops;  // the ten channels and everything run on the units (unitCount, foundCount, ...)
  bool FirmwareFileValid = false;
  bool UnattendedMode = false;
  bool NoRestartMode = false;
  std::string ProjectPath;
  bool SearchPending = false;
  bool UnattendedDownloadStarted = false;
  bool Closed = false;
  ReadRange LastReadRange;
  // Where the port search looks (tests point it at a fake sysfs tree).
  PortSearchPlaces PortPlaces;
  std::string Clipboard;  // what "Copy Information" copied

  // ---- forms created with the window ----
  TAboutForm AboutForm;
  TFormOfsAddr FormOfsAddr{Chip};
  TLogCfgForm LogCfgForm;

  // ---- the window ----
  std::string Caption = "Tarvel200IMOT Programmer";
  int ClientWidth = 919, ClientHeight = 591;

  // Button bar.
  ButtonControl SpdBtnExit{"SpdBtnExit", "退出", "Exit Application"};
  ButtonControl SpdBtnOpen{"SpdBtnOpen", "&加载数据", "Load Object File"};
  ButtonControl SpdBtnLoadMore{"SpdBtnLoadMore", "加载更多数据"};
  ButtonControl SpdBtnDownLoad{"SpdBtnDownLoad", "下载", "下载目标程序到编程器的FLASH中"};
  ButtonControl SpdBtnLdPrj{"SpdBtnLdPrj", "打开工程", "加载工程文件"};
  ButtonControl AutoSpdBtn{"AutoSpdBtn", "自动", "编程、校验并写入Option Bytes"};
  ButtonControl SpdBtnBlankChk{"SpdBtnBlankChk", "查空", "目标MCU Flash查空"};
  ButtonControl SpdBtnErase{"SpdBtnErase", "擦除", "在线擦除目标MCU Flash"};
  ButtonControl SpdBtnProg{"SpdBtnProg", "编程", "将目标代码写入到MCU的Flash中"};
  ButtonControl SpdBtnVerify{"SpdBtnVerify", "校验", "编程数据的校验"};
  ButtonControl SpdBtnWrtOPB{"SpdBtnWrtOPB", "写Option Byte", "Option Bytes的写入"};
  ButtonControl ReadChipData{"ReadChipData", "Read Chip Memory"};

  // View pages.
  PageControl ChipSett{"ChipSett", "Chip Setting"};
  PageControl TabSheetFlash{"TabSheetFlash", "Main Flash"};
  PageControl TabSheetEEP{"TabSheetEEP", "EEP Data"};
  PageControl TabSheetCfg{"TabSheetCfg", "Option Data"};
  PageGroup ViewPageCtrl{"ViewPageCtrl", {&ChipSett, &TabSheetFlash, &TabSheetEEP, &TabSheetCfg}, 0};
  MenuItem LoadFileOTP{"LoadFileOTP", "Load File"};  // pop-up menu of the EEP and option views
  DataView HexViewer, EEPDataView, CfgDataView;

  // Chip group.
  PanelControl GroupBoxChip{"GroupBoxChip", "芯片设置"};
  EditControl MCUNameEdit{"MCUNameEdit", "MCU 型号：", kMcuNameStartText, 16};
  ButtonControl DevButton{"DevButton"};
  LabelControl lbFlashSize{"lbFlashSize", "Flash 容量："};
  RadioGroup RadioGpVolt{"RadioGpVolt", " 接口电平 ", {"3.3V", "5.0V"}, 1};
  RadioGroup RadioGrpSpdF{"RadioGrpSpdF", " 编程速度 ", {"Slow SWCLK", "Fast SWCLK"}, 1};
  CheckBox ChkBoxEEP{"ChkBoxEEP", "烧写EEP数据"};
  CheckBox ChkBoxBlkEr{"ChkBoxBlkEr", "非空报错退出"};
  CheckBox CheckBoxOpt{"CheckBoxOpt", "Program Option Byte"};
  CheckBox ChkBoxCCX{"ChkBoxCCX", "Use CC1/CC2 as I2C"};
  ButtonControl BtnOptionCfg{"BtnOptionCfg", "Set Option Byte"};
  ButtonControl BitBtnLdBSL{"BitBtnLdBSL", "加载BSL"};

  // Programming settings.
  PanelControl GroupBoxCfg{"GroupBoxCfg", "烧写功能配置"};
  PageControl TabSheetCP{"TabSheetCP", "芯片参数配置"};
  PageControl TabSheet1{"TabSheet1", "序列号设置"};
  PageControl TabSheet2{"TabSheet2", "数量设置和芯片检测"};
  PageControl TabSheet3{"TabSheet3", "信号输出控制"};
  PageGroup PageControlSet{"PageControlSet", {&TabSheetCP, &TabSheet1, &TabSheet2, &TabSheet3}, 0};
  SpinEdit SpinEditEST{"SpinEditEST", "Erase Key Value: ", 1, 255, 1, 5};
  SpinEdit SpinEditPGTM1{"SpinEditPGTM1", "Programming Timming 1: ", 1, 255, 1, 5};
  SpinEdit SpinEditPGTM2{"SpinEditPGTM2", "Programming Timming 2: ", 1, 255, 1, 5};
  // Serial-number page.
  CheckBox CheckBoxSN{"CheckBoxSN", "添加序列号功能"};
  EditControl SNEdit1{"SNEdit1", "序列号1初值：", "0x00000000", 10};
  EditControl GainEdit{"GainEdit", "序列号增量：", "0x01", 4};
  EditControl AddrEdit{"AddrEdit", "序列号地址：", "0x0000FFF0", 10};
  CheckBox SNOrderChk{"SNOrderChk", "大端模式(Big Endian)", true};
  CheckBox ChkBoxPCSN{"ChkBoxPCSN", "允许联机序列号"};
  CheckBox ChkBoxSNDP{"ChkBoxSNDP", "序列号十进制显示"};
  ButtonControl ButtonCfgSN{"ButtonCfgSN", "设置固定SN初始数据"};
  LabelControl LabelDEVA{"LabelDEVA", "Device Address: "};
  EditControl EditDevAdr{"EditDevAdr", "Device Address: ", "0x00", 4};
  PanelControl PanelPOLY{"PanelPOLY", ""};
  ButtonControl SpdBtnISNH{"SpdBtnISNH", "填充S/N基本数据"};
  ButtonControl SpdBtnUsrID{"SpdBtnUsrID", "设置用户ID数据"};
  // Count and chip-detection page.
  CheckBox CheckBoxCtrl{"CheckBoxCtrl", "限制烧写总数"};
  SpinEdit SpinEditNum{"SpinEditNum", "最大烧写数量：", 0, 999999999, 100, 0};
  CheckBox ChkBoxRunSHT{"ChkBoxRunSHT", "Run and then Shut"};
  SpinEdit SpinEditRTM{"SpinEditRTM", "ms", 100, 2000, 10, 500};
  RadioGroup RadioGrpBKF{"RadioGrpBKF", "空白填充", {"空白填00", "空白填FF"}, 0};
  CheckBox ChkBoxAuto{"ChkBoxAuto", "自动芯片检测"};
  SpinEdit SpinEditIn{"SpinEditIn", "芯片放入稳定时间(ms)： ", 300, 1500, 30, 510};
  SpinEdit SpinEditOut{"SpinEditOut", "芯片拿开稳定时间(ms)：  ", 300, 2000, 30, 510};
  // Signal output page.
  CheckBox ChkBoxVDD{"ChkBoxVDD", "编程完成后关闭电源输出", true};
  CheckBox CheckBoxRun{"CheckBoxRun", "编程完成后启动芯片"};
  SpinEdit SpinEditVddTim{"SpinEditVddTim", "上电稳定时间(ms)：     ", 10, 2000, 10, 100};
  SpinEdit SpinEditPWDTim{"SpinEditPWDTim", "复位稳定时间(ms)：     ", 10, 2000, 10, 100};
  RadioGroup RadioGrpRST{"RadioGrpRST", "复位信号（RESET）", {"输出常低电平", "关闭输出(高阻)", "输出复位后关闭"}, 0};

  // Connection group.
  PanelControl GroupBoxCom{"GroupBoxCom", "通讯配置"};
  ComboBoxControl ComboBoxCOM{"ComboBoxCOM", "选择设备：", "请选择通讯口......"};
  ButtonControl BitBtnFindDev{"BitBtnFindDev", "查找并连接设备"};

  // Information area.
  PanelControl InfoPanel{"InfoPanel", "Device = ??????"};
  PanelControl InfoMemo{"InfoMemo", ""};  // shows Log
  MenuItem ClearInformation1{"ClearInformation1", "Clear Information"};
  MenuItem CopyInformation1{"CopyInformation1", "Copy Information"};
  std::array<GaugeControl, kMaxUnits> Gauges{GaugeControl{"Gauge1"}, GaugeControl{"Gauge2"}, GaugeControl{"Gauge3"},
                                             GaugeControl{"Gauge4"}, GaugeControl{"Gauge5"}, GaugeControl{"Gauge6"},
                                             GaugeControl{"Gauge7"}, GaugeControl{"Gauge8"}, GaugeControl{"Gauge9"},
                                             GaugeControl{"Gauge10"}};
  std::array<StatusPanel, 3> StatusBar1{{{"文件校验和：", 150}, {"芯片校验和：", 150}, {"", 300}}};
  EditControl ProductEdit{"ProductEdit", "", ""};

  // Main menu.
  MenuItem FileMenu{"FileMenu", "&File"};
  MenuItem Execute1{"Execute1", "&Load Object File(Clear Buffer)", "F3"};
  MenuItem LoadMoreFilenotClearBuffder1{"LoadMoreFilenotClearBuffder1", "Load More File(not Clear Buffder)"};
  MenuItem LoadEepDataFile1{"LoadEepDataFile1", "Load EEP Data File"};
  MenuItem SaveFile1{"SaveFile1", "&Save Memory to File", "F2"};
  MenuItem SaveEepDatatoFile1{"SaveEepDatatoFile1", "Save EEP Data to File"};
  MenuItem SavetoProjectFile1{"SavetoProjectFile1", "Save to Project File", "Ctrl+F2"};
  MenuItem LoadFromProjectFile1{"LoadFromProjectFile1", "Load From Project File", "Ctrl+F3"};
  MenuItem ConfigLogFile1{"ConfigLogFile1", "Config Log File"};
  MenuItem ShowOptionData1{"ShowOptionData1", "Show Option Data"};
  MenuItem Exit1{"Exit1", "E&xit", "Ctrl+X"};
  MenuItem CommandMenu{"CommandMenu", "&Command"};
  MenuItem Download1{"Download1", "&Download", "F4"};
  MenuItem AutoProgram1{"AutoProgram1", "&Auto Program", "F5"};
  MenuItem BlankCheck1{"BlankCheck1", "&Blank Check", "F7"};
  MenuItem EraseChip1{"EraseChip1", "&Erase Chip", "F8"};
  MenuItem Programming1{"Programming1", "&Programming", "F9"};
  MenuItem Verification1{"Verification1", "&Verification", "F10"};
  MenuItem WriteOptionByte1{"WriteOptionByte1", "Write &Option Byte", "F11"};
  MenuItem WriteEepDataMemory1{"WriteEepDataMemory1", "Write EEP Memory"};
  MenuItem DoFirmwareUpgrade1{"DoFirmwareUpgrade1", "Do Firmware Upgrade"};
  MenuItem ReadCommand{"ReadCommand", "Read"};
  MenuItem ReadMainMemory1{"ReadMainMemory1", "Read Main Memory", "F12"};
  MenuItem ReadEEPMemory1{"ReadEEPMemory1", "Read EEP Data Memory"};
  MenuItem ReadOptionByte1{"ReadOptionByte1", "Read Chip Option Setting", "Ctrl+O"};
  MenuItem ReadChipCheckSum1{"ReadChipCheckSum1", "Read Chip CheckSum"};
  MenuItem ReadChipInformation1{"ReadChipInformation1", "&Read Chip Information", "Ctrl+I"};
  MenuItem ReadSpecificAddress1{"ReadSpecificAddress1", "Read Specific Address"};
  MenuItem StartOfflineProgrm1{"StartOfflineProgrm1", "Start Off-line Progrm"};
  MenuItem HelpMenu{"HelpMenu", "&Help"};
  MenuItem About1{"About1", "About", "F1"};

  // ---- the control registry ----
  std::vector<Control*> Controls();
  Control* FindControl(std::string_view name);
  // Sets a control as a user would (check box "0"/"1", radio group item index, spin edit number, edit
  // text) and runs its handler. Throws std::invalid_argument for an unknown, hidden or disabled control,
  // or a value the control cannot take.
  void SetControl(std::string_view name, std::string_view value);
  void ApplyChanges(const std::vector<ControlChange>& changes);

  // ---- commands ----
  // Commands by control name (buttons, menu items, pop-up menu items). Later parts of the program
  // register theirs here (the unit operations, project files, firmware upgrade, off-line start).
  void RegisterCommand(const std::string& control, std::function<void()> handler);
  // Runs the command of a visible, enabled control; false when it has none or cannot be used now.
  bool Click(std::string_view control);
  // Keys as the window sees them before its controls: "Space" or "Enter" start the automatic sequence,
  // "F1".."F12", "Ctrl+O" ... run their menu items. False when the key does nothing.
  bool KeyDown(std::string_view key);

  // ---- timers ----
  EventLoop::TimerId Timer1 = 0;  // 10 ms, always running: watchdogs and gauges
  EventLoop::TimerId Timer2 = 0;  // 100 ms, from start-up: the device search
  void Timer1Timer();
  void Timer2Timer();

  // ---- life cycle ----
  void FormShow(const std::vector<std::string>& commandLine = {});
  // Fills the port list from ConfigKqn.ini or the units' USB serial ports and sets unitCount.
  void SearchPortList();
  void LayoutGauges(int units);
  void Close();  // closes the ports and the window, once (FormClose)
  // Called once the window has closed (the front end ends the program).
  std::function<void()> onClose;

  // ---- handlers ----
  void DevButtonClick();
  void ConfirmChip(const ChipDescriptor& chip);  // the chip dialog's OK for any catalogue entry
  void MCUNameEditChange();
  void SpdBtnOpenClick();
  void SpdBtnLoadMoreClick();
  void LoadEepDataFile1Click();
  void BitBtnLdBSLClick();
  void SaveFile1Click();
  void SaveEepDatatoFile1Click();
  void ConfigLogFile1Click();
  void ShowOptionData1Click();
  void BtnOptionCfgClick();
  void About1Click();
  void ClearInformation1Click();
  void CopyInformation1Click(std::string_view selectedText);
  void ChkBoxAutoClick();
  void CheckBoxCtrlClick();
  void ChkBoxSNDPClick();
  void CheckBoxSNClick();
  void BitBtnFindDevClick();
  void ButtonCfgSNClick();                     // fixed data into the main flash (or EEP) image
  void SpdBtnHolyClick(const std::string& address);  // S/N base data (0x00) or user ID (0x08) in the option data
  // The unit commands of the button bar and the Command menu; false when a precondition refused.
  bool RunUnitCommand(UnitCommand command);
  // The Read menu: on unit 1 only. The address-range read asks for its range first.
  bool RunReadCommand(ChipRead command);
  // The option bytes read back from a unit, reported as the chip's family does.
  void ReportOptionRead(int channel, std::span<const uint8_t> payload);
  void StartOfflineProgrm1Click();
  void DoFirmwareUpgrade1Click();
  void SavetoProjectFile1Click();
  void LoadFromProjectFile1Click();
  // Loads a project as the open dialog's answer does; returns the result code (0 success).
  int LoadProjectFile(const std::filesystem::path& path);
  // The programming settings as the window's controls show them.
  WindowSettings CurrentWindowSettings() const;

  // ---- views ----
  void ShowFlashView();  // over FlashStart..FlashEnd; marks the object file as loaded
  void ShowEepView();    // recomputes the EEP checksums; checks "烧写EEP数据" when the EEP image holds data
  void ShowOptionView();
  void ShowKf32ConfigView();
  void ShowFileSummary();
  void RefreshFlashRows(uint32_t address);
  // Called with (view, first row, row count) when rows change without a new layout (front ends redraw).
  std::function<void(const DataView&, int, int)> onViewRowsChanged;

  uint8_t BlankFill() const { return RadioGrpBKF.itemIndex == 0 ? 0x00 : 0xFF; }

 private:
  void setMcuName(const std::string& text);
  void mainLoad(bool clearing);
  void applyOutcome(const LoadOutcome& outcome);
  LoadContext loadContext();
  void registerCommands();

  std::map<std::string, std::function<void()>, std::less<>> commands_;
};

}  // namespace tarvel
