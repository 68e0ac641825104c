#include "link/SPCOMMA.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "base/ManualEventLoop.h"
#include "link/FrameLayer.h"
#include "link/Pty.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using posix_serial::LineSettings;

Bytes B(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// The settings every channel of the main window gives its port.
void ConfigureForUnit(TComm& port, const std::string& path) {
  port.setCommName(path);
  port.setBaudRate(1000000);
  port.setDtrControl(TDtrControl::DtrDisable);
  port.setRtsControl(TRtsControl::RtsDisable);
  port.setTxContinueOnXoff(false);
  port.setOutx_XonXoffFlow(false);
  port.setInx_XonXoffFlow(false);
  port.setStopBits(TStopBits::_2);
  port.setReadIntervalTimeout(3);
}

std::string OpenError(TComm& port) {
  try {
    port.OpenPort();
  } catch (const ECommsError& e) {
    return e.what();
  }
  return "(opened)";
}

class TCommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureForUnit(port_, pty_.path());
    port_.setOnReceiveData([this](std::span<const uint8_t> b) { chunks_.emplace_back(b.begin(), b.end()); });
    port_.setOnRequestHangup([this] {
      ++hangups_;
      port_.ClosePort();  // what the owner does
    });
    port_.setOnSendDataEmpty([this] { ++sendEmpty_; });
  }

  // Runs the loop until `done` holds; false after 10 s (a hang guard, not a timing requirement).
  bool RunUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      loop_.runPending();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > limit) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  Bytes Received() const {
    Bytes all;
    for (const auto& c : chunks_) all.insert(all.end(), c.begin(), c.end());
    return all;
  }

  test::Pty pty_;
  ManualEventLoop loop_;
  TComm port_{loop_};
  std::vector<Bytes> chunks_;
  int hangups_ = 0;
  int sendEmpty_ = 0;
};

TEST_F(TCommTest, OpensRaw8N2At1MBaudExclusivelyAndReopens) {
  port_.OpenPort();
  ASSERT_TRUE(port_.isOpen());
  const auto s = posix_serial::ReadLineSettings(pty_.keeper());
  ASSERT_TRUE(s);
  EXPECT_EQ(s->baudRate, 1000000u);
  EXPECT_EQ(s->dataBits, 8);
  EXPECT_EQ(s->parity, posix_serial::Parity::None);
  EXPECT_TRUE(s->twoStopBits);
  EXPECT_TRUE(s->raw);
  EXPECT_FALSE(s->rtsCtsFlow || s->xonXoffIn || s->xonXoffOut);
  EXPECT_TRUE(pty_.exclusive());

  EXPECT_EQ(OpenError(port_), "This serial port already opened");
  EXPECT_TRUE(port_.isOpen());

  // Refused even to root, whom TIOCEXCL does not stop.
  TComm second(loop_);
  second.setCommName(pty_.path());
  EXPECT_EQ(OpenError(second), "Error opening serial port:" + pty_.path());
  EXPECT_FALSE(second.isOpen());
  EXPECT_FALSE(ProbePort(pty_.path()));

  port_.ClosePort();
  EXPECT_FALSE(port_.isOpen());
  EXPECT_FALSE(pty_.exclusive()) << "TIOCEXCL must not outlive the port on a pseudo-terminal";
  EXPECT_TRUE(ProbePort(pty_.path()));
  EXPECT_EQ(OpenError(second), "(opened)");
  second.ClosePort();
  port_.OpenPort();
  EXPECT_TRUE(port_.isOpen());
  port_.ClosePort();
  port_.ClosePort();  // harmless
}

TEST_F(TCommTest, OpenFailuresGiveTheComponentsTexts) {
  const fs::path file = fs::temp_directory_path() / ("tarvel-tcomm-" + std::to_string(::getpid()));
  std::ofstream(file) << "not a device";
  struct Case {
    std::string name;
    std::string error;
  };
  const Case cases[] = {
      {"/nonexistent/ttyUSB0", "Error opening serial port:/nonexistent/ttyUSB0"},
      {"tarvel-no-such-tty", "Error opening serial port:tarvel-no-such-tty"},  // looked for in /dev
      {file.string(), "File handle is not a comm handle "},
      {"/dev/null", "Cannot setup comm buffer"},  // a character device, but no terminal
  };
  for (const auto& c : cases) {
    TComm port(loop_);
    port.setCommName(c.name);
    EXPECT_EQ(OpenError(port), c.error);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.SendBytes(B("x")));
  }
  fs::remove(file);
}

TEST_F(TCommTest, LineSettingsApplyAtOnceUnlessUnchanged) {
  EXPECT_EQ(TComm(loop_).BaudRate(), 9600u);
  port_.OpenPort();
  port_.setBaudRate(115200);
  port_.setStopBits(TStopBits::_1);
  port_.setOutx_XonXoffFlow(true);  // (a pseudo-terminal forces 8 bits without parity, so not those)
  auto s = posix_serial::ReadLineSettings(pty_.keeper());
  EXPECT_EQ(s->baudRate, 115200u);
  EXPECT_FALSE(s->twoStopBits);
  EXPECT_TRUE(s->xonXoffOut);

  // Someone else changes the terminal; setting a property to the value it has must not touch it.
  LineSettings other = *s;
  other.baudRate = 4800;
  ASSERT_TRUE(posix_serial::ApplyLineSettings(pty_.keeper(), other));
  port_.setBaudRate(115200);
  EXPECT_EQ(posix_serial::ReadLineSettings(pty_.keeper())->baudRate, 4800u);
}

TEST_F(TCommTest, DeliversChunksAfterSilenceAtMost2048Bytes) {
  port_.OpenPort();
  pty_.write(B("abc"));
  ASSERT_TRUE(RunUntil([&] { return chunks_.size() == 1; }));
  pty_.write(B("defg"));
  ASSERT_TRUE(RunUntil([&] { return chunks_.size() == 2; }));
  EXPECT_EQ(chunks_, (std::vector<Bytes>{B("abc"), B("defg")}));

  chunks_.clear();
  const Bytes big = RandomBytes(10000, 1);
  pty_.write(big);
  ASSERT_TRUE(RunUntil([&] { return Received().size() >= big.size(); }));
  EXPECT_EQ(Received(), big);
  for (const auto& c : chunks_) EXPECT_LE(c.size(), TComm::kReadSize);

  chunks_.clear();
  port_.setIgnoreNullChar(true);
  pty_.write(Bytes{'a', 0, 'b'});
  ASSERT_TRUE(RunUntil([&] { return !chunks_.empty(); }));
  EXPECT_EQ(chunks_[0], B("ab"));
}

// A frame's closing END ends the read at once; bytes without one wait for the line's silence. With an
// interval of a minute, only the END can have delivered the first chunk.
TEST_F(TCommTest, AClosingFrameEndDeliversWithoutWaitingForSilence) {
  port_.setReadIntervalTimeout(60000);
  port_.setFrameEndChar(0xC0);
  port_.OpenPort();
  pty_.write(Bytes{0xC0, 1, 2, 3, 0xC0});
  ASSERT_TRUE(RunUntil([&] { return chunks_.size() == 1; }));
  EXPECT_EQ(chunks_[0], (Bytes{0xC0, 1, 2, 3, 0xC0}));
  // An opening END alone closes nothing: the chunk goes on until an END after data.
  pty_.write(Bytes{0xC0, 0xC0});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  loop_.runPending();
  EXPECT_EQ(chunks_.size(), 1u);
  pty_.write(Bytes{9, 0xC0, 0xFF});
  ASSERT_TRUE(RunUntil([&] { return chunks_.size() == 2; }));
  EXPECT_EQ(chunks_[1], (Bytes{0xC0, 0xC0, 9, 0xC0, 0xFF}));
}

// A long reply trickling in as a USB bridge hands it over (64 bytes a millisecond): with the frame's
// length known, the receive thread sleeps while the rest is on the line instead of waking for every
// piece, and the frame still arrives whole and ends at its closing END. Counts, not timings: a machine
// too busy to keep the pace only makes the pieces fewer and larger.
TEST_F(TCommTest, ALongFrameIsReadInFewWakeUpsWhenItsLengthIsKnown) {
  port_.setFrameEndChar(kSlipEnd);
  // A byte time longer than the pace below: the sleeps, not the writer's timing, decide the count.
  port_.setReadAhead(std::make_unique<FrameReadAhead>(), std::chrono::microseconds(40));
  port_.OpenPort();

  Bytes packet = RandomBytes(4096 + 10, 7);
  packet[6] = 0x00;
  packet[7] = 0x10;
  Bytes frame(2 * packet.size() + 7);
  frame.resize(EncodeFrame(packet, frame));
  frame.resize(frame.size() - kFrameTrailerLength);  // the frame ends with its END
  constexpr size_t kPiece = 64;
  const size_t pieces = (frame.size() + kPiece - 1) / kPiece;
  std::thread unit([&] {
    for (size_t at = 0; at < frame.size(); at += kPiece) {
      pty_.write(Bytes(frame.begin() + static_cast<std::ptrdiff_t>(at),
                       frame.begin() + static_cast<std::ptrdiff_t>(std::min(frame.size(), at + kPiece))));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const bool whole = RunUntil([&] { return Received().size() >= frame.size(); });
  unit.join();
  ASSERT_TRUE(whole);
  EXPECT_EQ(Received(), frame);
  const TComm::ReadCounts counts = port_.readCounts();
  EXPECT_GE(counts.sleeps, 1u);
  EXPECT_LT(counts.reads, pieces * 2 / 3) << counts.reads << " reads for " << pieces << " pieces";
}

TEST_F(TCommTest, SendsFramesCompletelyInCallOrder) {
  EXPECT_FALSE(port_.SendBytes(B("closed")));
  port_.OpenPort();
  EXPECT_FALSE(port_.SendBytes({}));
  const Bytes a = RandomBytes(6000, 2), b = RandomBytes(3000, 3);
  Bytes expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  ASSERT_TRUE(port_.SendBytes(a));
  ASSERT_TRUE(port_.SendBytes(b));
  for (int i = 0; i < 100; ++i) {
    const Bytes small{static_cast<uint8_t>(i), 0xC0, 0xFF};
    ASSERT_TRUE(port_.SendBytes(small));
    expected.insert(expected.end(), small.begin(), small.end());
  }
  EXPECT_EQ(pty_.read(expected.size()), expected);
  // The queue may have run empty in between, too; in the end it is empty and said so.
  EXPECT_TRUE(RunUntil([&] { return port_.sendDataEmpty() && sendEmpty_ > 0; }));
}

TEST_F(TCommTest, BytesTheUnitSentWhileClosedArePurgedAtOpen) {
  pty_.write(B("stale"));
  ASSERT_TRUE(RunUntil([&] { return pty_.pendingForSlave() == 5; }));
  port_.OpenPort();
  pty_.write(B("fresh"));
  ASSERT_TRUE(RunUntil([&] { return Received().size() >= 5; }));
  EXPECT_EQ(Received(), B("fresh"));
}

TEST_F(TCommTest, AVanishedDeviceGivesOneHangupRequest) {
  port_.setOnRequestHangup([this] { ++hangups_; });  // an owner slow to close
  port_.OpenPort();
  // A write the unit never takes keeps the transmit thread blocked, so both threads see the device go.
  ASSERT_TRUE(port_.SendBytes(Bytes(1 << 20, 0x55)));
  pty_.closeMaster();
  ASSERT_TRUE(RunUntil([&] { return hangups_ > 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  loop_.runPending();
  EXPECT_EQ(hangups_, 1);
  EXPECT_TRUE(port_.isOpen());
  EXPECT_FALSE(port_.SendBytes(Bytes(0)));
  port_.SendBytes(B("more"));
  port_.ClosePort();  // bounded, although the device is gone
  loop_.runPending();
  EXPECT_EQ(hangups_, 1);
}

TEST_F(TCommTest, CloseAbandonsAStuckWriteAndDropsItsEvents) {
  port_.OpenPort();
  ASSERT_TRUE(port_.SendBytes(Bytes(1 << 20, 0xAA)));  // far more than the terminal buffers
  pty_.write(B("unread"));
  port_.ClosePort();  // returns although the write cannot finish
  EXPECT_FALSE(port_.isOpen());
  EXPECT_TRUE(port_.sendDataEmpty());
  loop_.runPending();
  EXPECT_TRUE(chunks_.empty() || chunks_ == std::vector<Bytes>{B("unread")});
  chunks_.clear();
  loop_.runPending();
  EXPECT_TRUE(chunks_.empty());
  EXPECT_EQ(sendEmpty_, 0);
  EXPECT_EQ(hangups_, 0);
}

// The ftdi latency timer is found through the device number; a fake sysfs tree stands in for the real one.
class TCommLatencyTest : public TCommTest {
 protected:
  fs::path TimerPath() {
    struct stat st {};
    EXPECT_EQ(::stat(pty_.path().c_str(), &st), 0);
    return sysfs_ / "dev" / "char" /
           (std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev))) / "device" /
           "latency_timer";
  }
  void TearDown() override { fs::remove_all(sysfs_); }
  fs::path sysfs_ = fs::temp_directory_path() / ("tarvel-sysfs-" + std::to_string(::getpid()));
};

TEST_F(TCommLatencyTest, SetsTheLatencyTimerOrSaysOnceThatItCouldNot) {
  const fs::path timer = TimerPath();
  fs::create_directories(timer.parent_path());
  std::ofstream(timer) << "16\n";
  std::vector<std::string> notices;
  {
    TComm port(loop_, sysfs_);
    ConfigureForUnit(port, pty_.path());
    port.setOnNotice([&](const std::string& t) { notices.push_back(t); });
    port.OpenPort();
    port.ClosePort();
  }
  int value = 0;
  std::ifstream(timer) >> value;
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(notices.empty());

  fs::remove(timer);
  fs::create_directory(timer);  // cannot be written
  TComm port(loop_, sysfs_);
  ConfigureForUnit(port, pty_.path());
  port.setOnNotice([&](const std::string& t) { notices.push_back(t); });
  port.OpenPort();
  port.ClosePort();
  port.OpenPort();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(pty_.path()), std::string::npos) << notices[0];

  // A pseudo-terminal in the real tree has no latency to set: nothing to say.
  notices.clear();
  TComm plain(loop_);
  ConfigureForUnit(plain, pty_.path());
  plain.setOnNotice([&](const std::string& t) { notices.push_back(t); });
  port.ClosePort();
  plain.OpenPort();
  EXPECT_TRUE(notices.empty());
}

}  // namespace
}  // namespace tarvel
