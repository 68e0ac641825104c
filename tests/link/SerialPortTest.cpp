#include "link/SerialPort.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/ManualEventLoop.h"

namespace tarvel {
namespace {

using Bytes = std::vector<uint8_t>;

struct Recorder {
  std::vector<std::string> events;
  void attach(SerialPort& port) {
    port.setOnReceiveData(
        [this](std::span<const uint8_t> b) { events.push_back("data:" + std::string(b.begin(), b.end())); });
    port.setOnReceiveError([this](uint32_t mask) { events.push_back("error:" + std::to_string(mask)); });
    port.setOnRequestHangup([this] { events.push_back("hangup"); });
    port.setOnSendDataEmpty([this] { events.push_back("empty"); });
  }
};

Bytes B(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

TEST(FakeSerialPort, DeliversEventsOnTheLoopInOrder) {
  ManualEventLoop loop;
  FakeSerialPort port(loop);
  Recorder rec;
  rec.attach(port);
  port.OpenPort();
  port.feed(B("ab"));
  port.raiseLineError(kLineErrorFrame);
  EXPECT_TRUE(port.SendBytes(B("x")));
  port.requestHangup();
  EXPECT_TRUE(rec.events.empty()) << "nothing may arrive outside the loop";
  loop.runPending();
  EXPECT_EQ(rec.events, (std::vector<std::string>{"data:ab", "error:8", "empty", "hangup"}));
  EXPECT_EQ(port.sent(), std::vector<Bytes>{B("x")});
}

TEST(FakeSerialPort, OpenAndSendFailLikeARealPort) {
  ManualEventLoop loop;
  FakeSerialPort port(loop);
  port.setCommName("/dev/ttyUSB3");
  EXPECT_FALSE(port.SendBytes(B("x"))) << "closed";
  port.setOpenFails(true);
  try {
    port.OpenPort();
    FAIL() << "open should fail";
  } catch (const ECommsError& e) {
    EXPECT_STREQ(e.what(), "Error opening serial port:/dev/ttyUSB3");
  }
  EXPECT_FALSE(port.isOpen());
  port.setOpenFails(false);
  port.OpenPort();
  EXPECT_THROW(port.OpenPort(), ECommsError);
  EXPECT_TRUE(port.isOpen());
  EXPECT_FALSE(port.SendBytes({})) << "empty";
  EXPECT_TRUE(port.sent().empty());
  EXPECT_EQ(port.openCount(), 1);
}

// Events queued before a close must not reach the owner afterwards, nor after a reopen: the owner resets
// its receive state when it opens, and a second hang-up request would close the new session.
TEST(FakeSerialPort, EventsOfAnEndedSessionAreDropped) {
  ManualEventLoop loop;
  FakeSerialPort port(loop);
  Recorder rec;
  rec.attach(port);
  port.OpenPort();
  port.feed(B("old"));
  port.requestHangup();
  port.ClosePort();
  port.OpenPort();
  port.feed(B("new"));
  loop.runPending();
  EXPECT_EQ(rec.events, (std::vector<std::string>{"data:new"}));

  port.feed(B("late"));
  auto owned = std::make_unique<FakeSerialPort>(loop);
  owned->OpenPort();
  owned->feed(B("gone"));
  int calls = 0;
  owned->setOnReceiveData([&](std::span<const uint8_t>) { ++calls; });
  owned.reset();
  loop.runPending();  // must not touch the destroyed port
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(rec.events.back(), "data:late");
}

}  // namespace
}  // namespace tarvel
