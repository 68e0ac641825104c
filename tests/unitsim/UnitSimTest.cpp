// Simulated units driven through the host's own link layer over pseudo-terminals: discovery, download,
// every chip command, standalone programming and firmware blocks.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>

#include "SimTestSupport.h"
#include "image/Checksums.h"

namespace tarvel::test {
namespace {

using testing::TempDir;
using unitsim::SimulatedUnit;

std::string Hex(std::span<const uint8_t> b) {
  std::string s;
  char two[3];
  for (uint8_t x : b) {
    std::snprintf(two, sizeof two, "%02x", x);
    s += two;
  }
  return s;
}

std::vector<nlohmann::json> LogLines(const std::filesystem::path& path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST(UnitSim, IdentifiesItselfWithModelAndVersion) {
  TempDir dir;
  auto sim = StartSim(dir, 3, {"--model", "2:Tarvel200XXX", "--version", "3:V1.05"});
  const std::string expected[] = {"Tarvel200IMOT V1.10", "Tarvel200XXX V1.10", "Tarvel200IMOT V1.05"};
  for (size_t k = 0; k < 3; ++k) {
    HostLink host(sim->ports()[k]);
    host.SendRaw(kDiscoveryRequest);
    const Bytes r = host.Next();
    ASSERT_GE(r.size(), 30u);
    EXPECT_TRUE(std::equal(kDiscoverySignature.begin(), kDiscoverySignature.end(), r.begin()));
    const uint16_t length = ReadLe16(r, 6);
    ASSERT_EQ(length, expected[k].size());
    ASSERT_GT(r.size(), 28u + length);
    EXPECT_EQ(std::string(r.begin() + 28, r.begin() + 28 + length), expected[k]);
    EXPECT_EQ(r[28 + length], 0) << "the host takes L + 1 bytes";
  }
}

TEST(UnitSim, DownloadKeepsASoundConfigurationAndTheImages) {
  TempDir dir;
  auto sim = StartSim(dir, 1, {"--log", (dir / "log.jsonl").string()});
  HostLink host(sim->ports()[0]);
  ChipSpec chip;
  chip.flashKB = 6;  // two blocks, the second one half beyond the flash
  chip.eepSize = 1500;
  const auto header = Header(chip);
  const auto config = ConfigBlock(chip);
  RandomSource random(5);

  // Blocks that are not sound are refused, and keep nothing.
  struct Damage {
    const char* what;
    std::function<void(std::array<uint8_t, kConfigBlockLength>&)> block;  // before the packet is built
    size_t payloadByte;                                                   // changed after it was built
    bool reseal;                                                          // a fitting packet check word
    uint8_t status;
  };
  const Damage damages[] = {
      {"marker",
       [](auto& b) {
         b[3] = 'Q';
         SealConfigBlock(b);
       },
       0, false, 0x45},
      {"check word", [](auto& b) { b[kConfigCheckOffset] ^= 0x01; }, 0, false, 0x45},
      {"sum", [](auto& b) { b[kConfigSumOffset + 1] ^= 0x01; }, 0, false, 0x45},
      {"the copy differs", nullptr, 512 + 40, true, 0x45},
      {"the packet's check word", nullptr, 10, false, kStatusCheckMismatch},
  };
  for (const Damage& d : damages) {
    auto block = config;
    if (d.block) d.block(block);
    const size_t n = BuildDownloadConfig(host.packet(), {}, block, random);
    if (d.payloadByte) host.packet()[8 + d.payloadByte] ^= 0x01;
    if (d.reseal) SealPacket(host.packet());
    EXPECT_EQ(host.StatusOf(n), d.status) << d.what;
  }
  EXPECT_FALSE(sim->unit(1).Inspect([](const SimulatedUnit& u) { return u.hasConfig(); }));

  EXPECT_EQ(host.StatusOf(BuildDownloadConfig(host.packet(), {}, config, random)), kStatusAck);
  for (uint16_t kb : {0, 4}) {
    EXPECT_EQ(host.StatusOf(BuildDownloadFlashBlock(host.packet(), {}, kb, DataBlockAt(kb))), kStatusAck);
  }
  EXPECT_EQ(host.StatusOf(BuildDownloadEepBlock(host.packet(), {}, 0, DataBlockAt(0, 9))), kStatusAck);
  EXPECT_EQ(host.StatusOf(BuildDownloadEepBlock(host.packet(), {}, 4, DataBlockAt(4, 9))), 0x45)
      << "beyond the EEP area";

  EXPECT_TRUE(sim->unit(1).Inspect([](const SimulatedUnit& u) { return u.hasConfig(); }));
  const auto [flash, eep] = sim->unit(1).Inspect(
      [](const SimulatedUnit& u) { return std::make_pair(u.storedFlash(), u.storedEep()); });
  ASSERT_EQ(flash.size(), 8192u);
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 4096, DataBlockAt(0).begin()));
  EXPECT_TRUE(std::equal(flash.begin() + 4096, flash.end(), DataBlockAt(4).begin()));
  ASSERT_EQ(eep.size(), 4096u);
  EXPECT_TRUE(std::equal(eep.begin(), eep.end(), DataBlockAt(0, 9).begin()));

  // RestartUnit is answered with a reply that discovery passes over, and starts standalone work.
  const Bytes restart = host.Request(BuildRestartUnit(host.packet()));
  EXPECT_EQ(restart[0], kIgnoredReplyMark);
  EXPECT_EQ(CheckReply(restart), kStatusAck);
  EXPECT_TRUE(sim->unit(1).Inspect([](const SimulatedUnit& u) { return u.standalone(); }));

  // The log shows what the host sent, the configuration's header unscrambled.
  const auto log = LogLines(dir / "log.jsonl");
  ASSERT_EQ(log.size(), std::size(damages) + 6);
  const auto& good = log[std::size(damages)];
  EXPECT_EQ(good["name"], "DownloadConfig");
  EXPECT_EQ(good["command"], 0x53);
  EXPECT_EQ(good["payloadLength"], 1024);
  EXPECT_EQ(good["checkGood"], true);
  EXPECT_EQ(good["configGood"], true);
  EXPECT_EQ(good["header"], Hex(header));
  EXPECT_EQ(log[4]["checkGood"], false);
  EXPECT_EQ(log[4]["status"], kStatusCheckMismatch);
  EXPECT_EQ(log[0]["configGood"], false);
  EXPECT_EQ(log[std::size(damages) + 2]["argument"], 4);
  EXPECT_EQ(log.back()["name"], "RestartUnit");
}

TEST(UnitSim, CarriesOutChipCommands) {
  TempDir dir;
  auto sim = StartSim(dir, 1);
  HostLink host(sim->ports()[0]);
  ChipSpec chip;  // 16 KiB flash, 1 KiB EEP
  const auto h = Header(chip);
  auto status = [&](size_t n) { return host.StatusOf(n); };
  auto data = [&](size_t n) {
    const Bytes r = host.Request(n);
    EXPECT_EQ(CheckReply(r), kStatusOk);
    const auto p = PacketPayload(r);
    return Bytes(p.begin(), p.end());
  };

  EXPECT_EQ(status(BuildChipCommand(host.packet(), {}, ChipSubCommand::BlankCheck, h)), kStatusOk);
  std::vector<uint8_t> image;
  for (uint16_t kb = 0; kb < 16; kb += 4) {
    const auto block = DataBlockAt(kb);
    EXPECT_EQ(status(BuildProgramFlashBlock(host.packet(), {}, kb, h, block)), kStatusAck);
    image.insert(image.end(), block.begin(), block.end());
  }
  const auto eepBlock = DataBlockAt(0, 3);
  EXPECT_EQ(status(BuildProgramEepBlock(host.packet(), {}, 0, h, eepBlock)), kStatusAck);
  EXPECT_EQ(status(BuildChipCommand(host.packet(), {}, ChipSubCommand::BlankCheck, h)), 0x15);

  EXPECT_EQ(data(BuildReadFlashBlock(host.packet(), {}, 8, h)),
            Bytes(image.begin() + 8192, image.begin() + 12288));
  const Bytes eep = data(BuildReadEepBlock(host.packet(), {}, 0, h));
  ASSERT_EQ(eep.size(), 4096u);
  EXPECT_TRUE(std::equal(eep.begin(), eep.begin() + 1024, eepBlock.begin()));
  EXPECT_TRUE(std::all_of(eep.begin() + 1024, eep.end(), [](uint8_t b) { return b == 0xFF; }))
      << "beyond the EEP a block reads blank";

  const Bytes sums = data(BuildChipCommand(host.packet(), {}, ChipSubCommand::ReadChecksum, h));
  ASSERT_EQ(sums.size(), 4u);
  EXPECT_EQ(ReadLe16(sums, 0), LinkChecksum(image, 0, 16383));
  EXPECT_EQ(ReadLe16(sums, 2), static_cast<uint16_t>(ImageSum(image, 0, 16383)));

  std::array<uint8_t, kOptionWriteDataLength> option{};
  std::iota(option.begin(), option.end(), uint8_t{0x21});
  EXPECT_EQ(status(BuildWriteOption(host.packet(), {}, h, option)), kStatusAck);
  EXPECT_EQ(data(BuildChipCommand(host.packet(), {}, ChipSubCommand::ReadOption, h)),
            Bytes(option.begin(), option.end()));
  const Bytes info = data(BuildChipCommand(host.packet(), {}, ChipSubCommand::ReadChipInfo, h));
  ASSERT_GE(info.size(), 4u + 512);
  EXPECT_EQ(info[0] * 256 + info[1], 0x1234) << "device id";
  EXPECT_EQ(info[2], 0x01) << "revision";
  EXPECT_TRUE(std::equal(option.begin(), option.end(), info.begin() + 4));

  // Address ranges: flash, EEP, and blank outside both.
  EXPECT_EQ(data(BuildReadRange(host.packet(), {}, h, chip.flashStart + 0x1010, 64)),
            Bytes(image.begin() + 0x1010, image.begin() + 0x1050));
  EXPECT_EQ(data(BuildReadRange(host.packet(), {}, h, chip.eepStart + 16, 16)),
            Bytes(eepBlock.begin() + 16, eepBlock.begin() + 32));
  EXPECT_EQ(data(BuildReadRange(host.packet(), {}, h, 0x20000000, 16)), Bytes(16, 0xFF));
  EXPECT_EQ(status(BuildReadRange(host.packet(), {}, h, chip.flashStart, 0)), 0x45);

  // Flash programming only clears bits: without an erase, new data does not take.
  const auto other = DataBlockAt(0, 77);
  EXPECT_EQ(status(BuildProgramFlashBlock(host.packet(), {}, 0, h, other)), kStatusAck);
  Bytes merged(4096);
  for (size_t i = 0; i < merged.size(); ++i) merged[i] = image[i] & other[i];
  EXPECT_EQ(data(BuildReadFlashBlock(host.packet(), {}, 0, h)), merged);

  EXPECT_EQ(status(BuildChipCommand(host.packet(), {}, ChipSubCommand::Erase, h)), kStatusAck);
  EXPECT_EQ(status(BuildChipCommand(host.packet(), {}, ChipSubCommand::BlankCheck, h)), kStatusOk);
  EXPECT_EQ(data(BuildChipCommand(host.packet(), {}, ChipSubCommand::ReadOption, h)),
            Bytes(option.begin(), option.end()))
      << "an erase keeps the option bytes";

  // A chip whose blank value is 0x00.
  ChipSpec zero = chip;
  zero.blankZero = true;
  const auto hz = Header(zero);
  EXPECT_EQ(status(BuildChipCommand(host.packet(), {}, ChipSubCommand::BlankCheck, hz)), kStatusOk);
  EXPECT_EQ(data(BuildReadFlashBlock(host.packet(), {}, 0, hz)), Bytes(4096, 0x00));

  // What a unit does not understand.
  EXPECT_EQ(status(BuildChipCommand(host.packet(), {}, 77, h)), 0x25) << "unknown sub-command";
  EXPECT_EQ(status(BuildPacket(host.packet(), 0x42, 0, {}, Bytes(4, 0))), 0x25) << "unknown command";
  EXPECT_EQ(status(BuildPacket(host.packet(), LinkCommand::ReadFlashBlock, 0, {}, Bytes(12, 0))), 0x45)
      << "payload of the wrong size";
  ChipSpec huge = chip;
  huge.flashKB = 60000;
  EXPECT_EQ(status(BuildChipCommand(host.packet(), {}, ChipSubCommand::BlankCheck, Header(huge))), 0x36);
}

// Downloads `chip` (flash and EEP from DataBlockAt) with the serial settings, and restarts the unit.
void DownloadAndRestart(HostLink& host, const ChipSpec& chip, const SerialSpec& sn = {}) {
  RandomSource random(1);
  ASSERT_EQ(host.StatusOf(BuildDownloadConfig(host.packet(), {}, ConfigBlock(chip, sn), random)), kStatusAck);
  for (uint16_t kb = 0; kb < chip.flashKB; kb += 4) {
    ASSERT_EQ(host.StatusOf(BuildDownloadFlashBlock(host.packet(), {}, kb, DataBlockAt(kb))), kStatusAck);
  }
  for (uint16_t kb = 0; kb * 1024 < chip.eepSize; kb += 4) {
    ASSERT_EQ(host.StatusOf(BuildDownloadEepBlock(host.packet(), {}, kb, DataBlockAt(kb, 9))), kStatusAck);
  }
  ASSERT_EQ(host.Request(BuildRestartUnit(host.packet()))[0], kIgnoredReplyMark);
}

TEST(UnitSim, ProgramsInsertedChipsOnItsOwn) {
  TempDir dir;
  auto sim = StartSim(dir, 1, {"--insert-every", "0.05", "--cycles", "3"});
  HostLink host(sim->ports()[0]);
  ChipSpec chip;
  chip.flashKB = 8;
  chip.autoDetect = true;
  chip.mask = 0x17 | 0x28 | 0x40;  // with EEP and option bytes
  SerialSpec sn;
  sn.enabled = true;
  sn.first = 0x01020304;
  sn.step = 2;
  sn.address = chip.flashStart + 0x1FF0;
  sn.countLimited = true;
  sn.maxCount = 2;
  DownloadAndRestart(host, chip, sn);

  const std::vector<std::pair<uint8_t, uint8_t>> stages = {{0x10, 0x00}, {0x10, 0x13}, {0x20, 0}, {0x40, 0},
                                                           {0x40, 0},    {0x50, 0},    {0x70, 0}, {0x80, 0},
                                                           {0xA0, 0},    {0xF0, 6}};
  for (int cycle = 1; cycle <= 2; ++cycle) {
    SCOPED_TRACE(cycle);
    std::vector<Record> records;
    for (size_t i = 0; i < stages.size(); ++i) {
      records.push_back(NextRecord(host));
      EXPECT_EQ(records.back().stage, stages[i].first) << "record " << i;
      EXPECT_EQ(records.back().code, stages[i].second) << "record " << i;
    }
    EXPECT_EQ(records[1].value, 0x1234) << "chip id";
    EXPECT_EQ(records[1].value2, 0x5678);
    EXPECT_EQ(records[3].value, 0);
    EXPECT_EQ(records[4].value, 4);
    EXPECT_EQ(records[4].value2, 8) << "progress maximum: the flash in KiB";
    EXPECT_EQ(records[5].value2, 1) << "EEP in KiB";
  }
  // The count limit is reached: the third chip is refused.
  const Record refused = NextRecord(host);
  EXPECT_EQ(refused.stage, 0xF0);
  EXPECT_EQ(refused.code, 0x45);
  EXPECT_TRUE(host.Quiet()) << "--cycles 3 ends the insertions";

  // The last good chip holds the image with its serial number (the second: first + step), big-endian.
  sim->unit(1).Inspect([&](const SimulatedUnit& u) {
    const auto first = DataBlockAt(0), second = DataBlockAt(4);
    std::vector<uint8_t> expected(first.begin(), first.end());
    expected.insert(expected.end(), second.begin(), second.end());
    const uint8_t serial[] = {0x01, 0x02, 0x03, 0x06};
    std::copy(std::begin(serial), std::end(serial), expected.begin() + 0x1FF0);
    const auto& flash = u.chip().flashCells();
    EXPECT_TRUE(flash == expected) << "flash with the serial number";
    EXPECT_TRUE(
        std::equal(u.chip().eepCells().begin(), u.chip().eepCells().end(), DataBlockAt(0, 9).begin()));
    for (size_t i = 0; i < 332; ++i) EXPECT_EQ(u.chip().option()[i], ConfigOptionByte(i)) << "option " << i;
    EXPECT_EQ(u.goodParts(), 2u);
    EXPECT_EQ(u.currentSerial(), 0x01020308u);
    return 0;
  });

  // A command takes the unit back into host control.
  EXPECT_EQ(host.StatusOf(BuildChipCommand(host.packet(), {}, ChipSubCommand::BlankCheck, Header(chip))),
            0x15);
  EXPECT_FALSE(sim->unit(1).Inspect([](const SimulatedUnit& u) { return u.standalone(); }));
}

TEST(UnitSim, StandaloneFailuresEndWithTheirCode) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    bool stopWhenNotBlank;
    uint8_t mask;
    std::vector<uint8_t> stages;  // after the two interface records
    uint8_t result;
  };
  const Case cases[] = {
      {"injected verify failure", {"--fail-cycle", "1:0x31"}, false, 0x17, {0x20, 0x40, 0x40, 0x70}, 0x31},
      {"injected failure at the chip interface", {"--fail-cycle", "1:1:0x60"}, false, 0x17, {}, 0x60},
      {"not blank: erased first", {"--not-blank", "1"}, false, 0x17, {0x20, 0x30, 0x40, 0x40, 0x70}, 6},
      {"not blank, stop when not blank", {"--not-blank", "1"}, true, 0x17, {0x20}, 0x15},
      {"protected: erased first", {"--protected", "1"}, false, 0x17, {0x20, 0x30, 0x40, 0x40, 0x70}, 6},
      {"protected, no erase allowed", {"--protected", "1"}, false, 0x15, {0x20}, 0x13},
      {"a weak cell fails the verification",
       {"--verify-corrupt", "1:0x08000010"},
       false,
       0x17,
       {0x20, 0x40, 0x40, 0x70},
       0x31},
      {"erase and program only", {}, false, 0x06, {0x30, 0x40, 0x40}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::vector<std::string> args = {"--insert-every", "0.02", "--cycles", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto sim = StartSim(dir, 1, args);
    HostLink host(sim->ports()[0]);
    ChipSpec chip;
    chip.flashKB = 8;
    chip.eepSize = 0;
    chip.autoDetect = true;
    chip.mask = c.mask;
    chip.stopWhenNotBlank = c.stopWhenNotBlank;
    DownloadAndRestart(host, chip);
    EXPECT_EQ(NextRecord(host).stage, 0x10);
    EXPECT_EQ(NextRecord(host).stage, 0x10);
    for (uint8_t stage : c.stages) EXPECT_EQ(NextRecord(host).stage, stage);
    const Record end = NextRecord(host);
    EXPECT_EQ(end.stage, 0xF0);
    EXPECT_EQ(end.code, c.result);
  }
}

TEST(UnitSim, StandaloneWaitsForAutomaticDetection) {
  TempDir dir;
  auto sim = StartSim(dir, 1, {"--insert-every", "0.02"});
  HostLink host(sim->ports()[0]);
  ChipSpec chip;
  chip.flashKB = 4;
  chip.autoDetect = false;
  DownloadAndRestart(host, chip);
  EXPECT_TRUE(host.Quiet()) << "no chip detection, no records";
}

TEST(UnitSim, TakesFirmwareBlocksAndReportsTheNewVersion) {
  TempDir dir;
  auto sim = StartSim(dir, 2, {"--model", "2:Tarvel200XXX", "--upgrade-to", "V2.00"});
  std::vector<uint8_t> firmware(3 * kFirmwareImageBlockLength);
  for (size_t i = 0; i < firmware.size(); ++i)
    firmware[i] = (i % 4 == 3) ? 0 : static_cast<uint8_t>(i * 11 + 1);
  const std::string after[] = {"Tarvel200IMOT V2.00", "Tarvel200IMOT V2.00"};

  for (int unit = 1; unit <= 2; ++unit) {
    SCOPED_TRACE(unit);
    HostLink host(sim->ports()[static_cast<size_t>(unit - 1)]);
    RandomSource random(static_cast<uint32_t>(unit));
    for (uint16_t k = 0; k < 3; ++k) {
      const auto block = std::span<const uint8_t>(firmware)
                             .subspan(k * kFirmwareImageBlockLength)
                             .first<kFirmwareImageBlockLength>();
      EXPECT_EQ(host.StatusOf(BuildFirmwareBlock(host.packet(), k, block, random)), kStatusAck);
    }
    const Bytes done = host.Request(BuildFirmwareDone(host.packet()));
    EXPECT_EQ(done[0], kIgnoredReplyMark);
    host.SendRaw(kDiscoveryRequest);
    const Bytes id = host.Next();
    ASSERT_GT(id.size(), 28u + after[unit - 1].size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id.data() + 28)), after[unit - 1]);
    EXPECT_EQ(sim->unit(unit).Inspect([](const SimulatedUnit& u) { return u.firmware(); }), firmware);

    // A block out of order is refused.
    const auto first = std::span<const uint8_t>(firmware).first<kFirmwareImageBlockLength>();
    EXPECT_EQ(host.StatusOf(BuildFirmwareBlock(host.packet(), 0, first, random)), kStatusAck);
    EXPECT_EQ(host.StatusOf(BuildFirmwareBlock(host.packet(), 2, first, random)), 0x45);
  }
}

}  // namespace
}  // namespace tarvel::test
