#include "link/PortDiscovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>

#include "base/Errors.h"
#include "base/Files.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;
using Ports = std::vector<std::string>;

TEST(ConnectionSettings, ListsDevLinesInFileOrder) {
  struct Case {
    const char* what;
    std::string text;
    Ports ports;
  };
  const Case cases[] = {
      {"CR LF, TOTDEV does not decide the count, bare names are in /dev",
       "; units\r\n[Connection]\r\nTOTDEV=4\r\nDEV1=/dev/ttyUSB0\r\ndev2=ttyUSB1\r\n",
       {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
      {"LF, lines before the header and later sections",
       "x\nDEV1=/dev/early\n[Connection]\nDEV2=/dev/a\n[Other]\nDEV3=/dev/b",
       {"/dev/a", "/dev/b"}},
      {"header on the first line is not seen", "[Connection]\nDEV1=/dev/a\n", {}},
      {"a file of one line, the header", "[Connection]\n", {}},
      {"no header", "x\nDEV1=/dev/a\n", {}},
      {"empty file", "", {}},
      {"the header is compared exactly", "x\n[connection]\nDEV1=/dev/a\n", {}},
      {"paths verbatim, blanks around them dropped",
       "x\n[Connection]\nDev1 = /dev/serial/by-id/usb-FTDI_Ab-if00 \n",
       {"/dev/serial/by-id/usb-FTDI_Ab-if00"}},
      {"lines without a unit 1..10, '=' or port are ignored",
       "x\n[Connection]\nDEV0=/dev/z\nDEV11=/dev/y\nDEVICE=/dev/x\nDEV4\nDEV5=\nDEV6=/dev/ok\nCOM=/dev/w\n",
       {"/dev/ok"}},
  };
  for (const auto& c : cases) {
    const PortSearchResult r = ReadConnectionSettings(c.text);
    EXPECT_EQ(r.ports, c.ports) << c.what;
    EXPECT_EQ(r.unitCount, c.ports.size()) << c.what;
    EXPECT_EQ(r.shownText, c.ports.empty() ? std::string(kNoPortText) : c.ports.back()) << c.what;
  }
}

TEST(ConnectionSettings, DevNumbersSetTheChannelsCommName) {
  const auto r = ReadConnectionSettings("x\n[Connection]\nDEV10=/dev/ttyUSB12\ndev3=ttyUSB7\n", "/devroot");
  EXPECT_EQ(r.ports, (Ports{"/dev/ttyUSB12", "/devroot/ttyUSB7"}));
  EXPECT_EQ(r.commNames[9], "/dev/ttyUSB12");
  EXPECT_EQ(r.commNames[2], "/devroot/ttyUSB7");
  EXPECT_FALSE(r.commNames[0]);

  // Twelve lines: all listed, ten units; a repeated number sets that channel again.
  std::string text = "x\n[Connection]\n";
  for (int i = 1; i <= 12; ++i)
    text += "DEV" + std::to_string(i <= 10 ? i : i - 10) + "=/dev/p" + std::to_string(i) + "\n";
  const auto twelve = ReadConnectionSettings(text);
  EXPECT_EQ(twelve.ports.size(), 12u);
  EXPECT_EQ(twelve.unitCount, 10);
  EXPECT_EQ(twelve.commNames[0], "/dev/p11");
  EXPECT_EQ(twelve.commNames[1], "/dev/p12");
  EXPECT_EQ(twelve.shownText, "/dev/p12");
}

TEST(ConnectionSettings, TotdevMustBeAnInteger) {
  EXPECT_NO_THROW(ReadConnectionSettings("x\n[Connection]\nTOTDEV= 3 \n"));
  for (const char* bad : {"TOTDEV=abc", "TOTDEV=", "totdev=2x", "TOTDEV4"}) {
    EXPECT_THROW(ReadConnectionSettings(std::string("x\n[Connection]\n") + bad + "\nDEV1=/dev/a\n"),
                 ConversionError)
        << bad;
  }
  try {
    ReadConnectionSettings("x\n[Connection]\nTOTDEV=abc\n");
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

// A fake sysfs and /dev: ttys with their drivers, by-id links, device nodes as plain files.
class PortScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tarvel-ports-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    places_ = {root_ / "prog", root_ / "sys", root_ / "dev"};
    fs::create_directories(places_.programDir);
    fs::create_directories(places_.devRoot / "serial" / "by-id");
    for (const char* d : {"ftdi_sio", "cp210x", "serial8250", "cdc_acm"}) {
      fs::create_directories(places_.sysfsRoot / "bus" / "usb-serial" / "drivers" / d);
    }
  }
  void TearDown() override {
    if (lockFd_ >= 0) ::close(lockFd_);
    fs::remove_all(root_);
  }
  void AddTty(const std::string& name, const std::string& driver, bool node = true) {
    const fs::path dev = places_.sysfsRoot / "devices" / name;
    fs::create_directories(dev);
    fs::create_directory_symlink(places_.sysfsRoot / "bus" / "usb-serial" / "drivers" / driver,
                                 dev / "driver");
    fs::create_directories(places_.sysfsRoot / "class" / "tty" / name);
    fs::create_directory_symlink(dev, places_.sysfsRoot / "class" / "tty" / name / "device");
    if (node) std::ofstream(places_.devRoot / name) << "";
  }
  void AddById(const std::string& id, const std::string& name) {
    fs::create_symlink("../../" + name, places_.devRoot / "serial" / "by-id" / id);
  }
  std::string Dev(const std::string& name) { return (places_.devRoot / name).string(); }

  fs::path root_;
  PortSearchPlaces places_;
  int lockFd_ = -1;
};

TEST_F(PortScanTest, ListsFreePortsOfTheUnitsDriversInAStableOrder) {
  AddTty("ttyUSB0", "ftdi_sio");
  AddTty("ttyUSB1", "cp210x");
  AddTty("ttyUSB10", "ftdi_sio");
  AddTty("ttyUSB9", "ftdi_sio");
  AddTty("ttyS0", "serial8250");
  AddTty("ttyACM0", "cdc_acm");
  AddTty("ttyUSB2", "ftdi_sio");         // held by another program
  AddTty("ttyUSB3", "ftdi_sio", false);  // no device node
  AddById("usb-Silicon_Labs_CP2102_A-if00-port0", "ttyUSB1");
  AddById("usb-FTDI_FT232R_B-if00-port0", "ttyUSB10");
  lockFd_ = ::open(Dev("ttyUSB2").c_str(), O_RDWR);
  ASSERT_EQ(::flock(lockFd_, LOCK_EX), 0);

  const PortSearchResult r = SearchPorts(places_);
  EXPECT_EQ(r.ports, (Ports{Dev("ttyUSB10"), Dev("ttyUSB1"), Dev("ttyUSB0"), Dev("ttyUSB9")}));
  EXPECT_EQ(r.unitCount, 4);
  EXPECT_EQ(r.shownText, Dev("ttyUSB9"));

  ::close(lockFd_);
  lockFd_ = -1;
  EXPECT_EQ(ListUnitPorts(places_.sysfsRoot, places_.devRoot).size(), 5u);
}

TEST_F(PortScanTest, TheSettingsFileTakesPrecedenceAndNothingFoundIsSaid) {
  AddTty("ttyUSB0", "ftdi_sio");
  std::ofstream(places_.programDir / "ConfigKqn.ini") << "x\r\n[Connection]\r\nDEV1=ttyUSB7\r\n";
  EXPECT_EQ(SearchPorts(places_).ports, Ports{Dev("ttyUSB7")});

  fs::remove(places_.programDir / "ConfigKqn.ini");
  fs::create_directory(places_.programDir / "ConfigKqn.ini");  // there, but unreadable
  EXPECT_THROW(SearchPorts(places_), FileError);

  fs::remove(places_.programDir / "ConfigKqn.ini");
  fs::remove_all(places_.sysfsRoot);
  const PortSearchResult none = SearchPorts(places_);
  EXPECT_TRUE(none.ports.empty());
  EXPECT_EQ(none.unitCount, 0);
  EXPECT_EQ(none.shownText, "无可用的串口");
}

}  // namespace
}  // namespace tarvel
