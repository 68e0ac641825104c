// Each fault option of the simulator does what it says, seen from the host's link layer.
#include <gtest/gtest.h>

#include <filesystem>

#include "SimTestSupport.h"

namespace tarvel::test {
namespace {

using testing::TempDir;

const auto kHeader = Header(ChipSpec{});

size_t BlankCheck(HostLink& host) {
  return BuildChipCommand(host.packet(), {}, ChipSubCommand::BlankCheck, kHeader);
}

TEST(UnitSimFaults, SilentUnits) {
  TempDir dir;
  auto sim = StartSim(dir, 2, {"--silent", "1", "--silent-after", "2:2"});
  HostLink silent(sim->ports()[0]);
  silent.SendRaw(kDiscoveryRequest);
  EXPECT_TRUE(silent.Quiet());

  HostLink later(sim->ports()[1]);
  later.SendRaw(kDiscoveryRequest);
  EXPECT_FALSE(later.Next().empty());
  EXPECT_EQ(later.StatusOf(BlankCheck(later)), kStatusOk);
  later.Send(BlankCheck(later));
  EXPECT_TRUE(later.Quiet()) << "the third request goes unanswered";
  later.SendRaw(kDiscoveryRequest);
  EXPECT_TRUE(later.Quiet()) << "and so does every later one";
}

TEST(UnitSimFaults, BadCheckWordsAndForcedStatus) {
  TempDir dir;
  auto sim =
      StartSim(dir, 2, {"--bad-check", "1", "--status", "2:ChipCommand/5:0x60", "--status", "2:0x95:0x2C"});
  HostLink bad(sim->ports()[0]);
  EXPECT_EQ(bad.StatusOf(BlankCheck(bad)), kStatusCheckMismatch);
  const auto h = kHeader;
  EXPECT_EQ(bad.StatusOf(BuildReadFlashBlock(bad.packet(), {}, 0, h)), kStatusCheckMismatch);

  HostLink forced(sim->ports()[1]);
  EXPECT_EQ(forced.StatusOf(BlankCheck(forced)), 0x60);
  EXPECT_EQ(forced.StatusOf(BuildChipCommand(forced.packet(), {}, ChipSubCommand::Erase, h)), kStatusAck)
      << "other sub-commands are answered as usual";
  EXPECT_EQ(forced.StatusOf(BuildProgramFlashBlock(forced.packet(), {}, 0, h, DataBlockAt(0))), 0x2C);
  EXPECT_EQ(forced.StatusOf(BuildReadFlashBlock(forced.packet(), {}, 0, h)), kStatusOk);
}

TEST(UnitSimFaults, GarbageBetweenFramesAndSplitFrames) {
  TempDir dir;
  auto sim = StartSim(dir, 1, {"--garbage", "1"});
  HostLink host(sim->ports()[0]);
  const auto h = kHeader;
  for (uint16_t kb = 0; kb < 16; kb += 4) {
    ASSERT_EQ(host.StatusOf(BuildProgramFlashBlock(host.packet(), {}, kb, h, DataBlockAt(kb))), kStatusAck);
  }
  for (int round = 0; round < 5; ++round) {
    for (uint16_t kb = 0; kb < 16; kb += 4) {
      const Bytes r = host.Request(BuildReadFlashBlock(host.packet(), {}, kb, h));
      ASSERT_EQ(CheckReply(r), kStatusOk);
      ASSERT_TRUE(std::equal(r.begin() + 8, r.end() - 2, DataBlockAt(kb).begin()));
    }
  }
  // Every frame came with noise before it, and frames came in more chunks than there were frames.
  const size_t frames = 4 + 5 * 4;
  EXPECT_GE(host.receivedBytes(), host.frameBytesTaken() + frames * (kFrameTrailerLength + 1));
  EXPECT_GT(host.receivedChunks(), frames);
}

TEST(UnitSimFaults, ProtectedAndNotBlankChips) {
  TempDir dir;
  auto sim = StartSim(dir, 2, {"--protected", "1", "--not-blank", "2"});
  const auto h = kHeader;
  const auto block = DataBlockAt(0);

  HostLink prot(sim->ports()[0]);
  EXPECT_EQ(prot.StatusOf(BlankCheck(prot)), 0x13);
  EXPECT_EQ(prot.StatusOf(BuildReadFlashBlock(prot.packet(), {}, 0, h)), 0x13);
  EXPECT_EQ(prot.StatusOf(BuildProgramFlashBlock(prot.packet(), {}, 0, h, block)), 0x13);
  EXPECT_EQ(prot.StatusOf(BuildChipCommand(prot.packet(), {}, ChipSubCommand::ReadChecksum, h)), 0x13);
  EXPECT_EQ(prot.StatusOf(BuildChipCommand(prot.packet(), {}, ChipSubCommand::Erase, h)), kStatusAck);
  EXPECT_EQ(prot.StatusOf(BlankCheck(prot)), kStatusOk) << "an erase lifts the protection";
  EXPECT_EQ(prot.StatusOf(BuildProgramFlashBlock(prot.packet(), {}, 0, h, block)), kStatusAck);

  HostLink used(sim->ports()[1]);
  EXPECT_EQ(used.StatusOf(BlankCheck(used)), 0x15);
  EXPECT_EQ(used.StatusOf(BuildChipCommand(used.packet(), {}, ChipSubCommand::Erase, h)), kStatusAck);
  EXPECT_EQ(used.StatusOf(BlankCheck(used)), kStatusOk);
}

TEST(UnitSimFaults, AWeakCellReadsBackWrongOnceProgrammed) {
  TempDir dir;
  const ChipSpec chip;
  const uint32_t weak = chip.flashStart + 4096 + 100;
  auto sim = StartSim(dir, 1, {"--verify-corrupt", "1:" + std::to_string(weak)});
  HostLink host(sim->ports()[0]);
  const auto h = kHeader;
  EXPECT_EQ(host.StatusOf(BlankCheck(host)), kStatusOk) << "an erased cell reads erased";
  for (uint16_t kb : {0, 4}) {
    ASSERT_EQ(host.StatusOf(BuildProgramFlashBlock(host.packet(), {}, kb, h, DataBlockAt(kb))), kStatusAck);
  }
  const Bytes good = host.Request(BuildReadFlashBlock(host.packet(), {}, 0, h));
  EXPECT_TRUE(std::equal(good.begin() + 8, good.end() - 2, DataBlockAt(0).begin()));
  const Bytes r = host.Request(BuildReadFlashBlock(host.packet(), {}, 4, h));
  const auto expected = DataBlockAt(4);
  for (size_t i = 0; i < kDataBlockLength; ++i) {
    ASSERT_EQ(r[8 + i], i == 100 ? (expected[i] ^ 0x01) : expected[i]) << "byte " << i;
  }
}

TEST(UnitSimFaults, HangupUnplugsTheUnit) {
  TempDir dir;
  auto sim = StartSim(dir, 1, {"--hangup-after", "1:2"});
  HostLink host(sim->ports()[0]);
  host.SendRaw(kDiscoveryRequest);
  EXPECT_FALSE(host.Next().empty());
  EXPECT_EQ(host.StatusOf(BlankCheck(host)), kStatusOk) << "the second request is still answered";
  ASSERT_TRUE(host.WaitForHangup()) << "the port asks for a hang-up, as for an unplugged device";
  EXPECT_FALSE(host.port().isOpen());
}

TEST(UnitSimFaults, WireSpeedStillCarriesEverything) {
  TempDir dir;
  auto sim = StartSim(dir, 1, {"--wire-speed"});
  HostLink host(sim->ports()[0]);
  const auto h = kHeader;
  ASSERT_EQ(host.StatusOf(BuildProgramFlashBlock(host.packet(), {}, 4, h, DataBlockAt(4))), kStatusAck);
  const Bytes r = host.Request(BuildReadFlashBlock(host.packet(), {}, 4, h));
  ASSERT_EQ(CheckReply(r), kStatusOk);
  EXPECT_TRUE(std::equal(r.begin() + 8, r.end() - 2, DataBlockAt(4).begin()));
}

}  // namespace
}  // namespace tarvel::test
