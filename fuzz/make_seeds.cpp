// Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) from the samples and from files our
// own writers make, each with the header its target reads first. Run from the fuzz build:
//   build-fuzz/fuzz/fuzz_make_seeds .        (in the repository's top directory)
// The output is deterministic; the seeds are kept in the repository, so this only needs running again
// when a target's input layout changes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/Files.h"
#include "base/RandomSource.h"
#include "chips/Catalogue.h"
#include "chips/ChipSelectZPN.h"
#include "image/IntelHex.h"
#include "image/SRecord.h"
#include "link/FrameLayer.h"
#include "link/LinkPacket.h"
#include "ops/FirmwareFile.h"
#include "project/HdlPrjRdWtRT.h"

using namespace tarvel;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

fs::path gRoot;

class Seed {
 public:
  Seed& u8(uint8_t v) { b_.push_back(v); return *this; }
  Seed& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
  Seed& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
  Seed& bytes(const Bytes& v) { b_.insert(b_.end(), v.begin(), v.end()); return *this; }
  Seed& text(std::string_view t) { b_.insert(b_.end(), t.begin(), t.end()); return *this; }
  void write(const std::string& target, const std::string& name) const {
    const fs::path dir = gRoot / "fuzz" / "corpus" / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(b_.data()),
                                                      static_cast<std::streamsize>(b_.size()));
  }

 private:
  Bytes b_;
};

std::string ReadSample(const std::string& name) {
  const Bytes b = ReadWholeFile(gRoot / "samples" / name);
  return std::string(b.begin(), b.end());
}

// The first `lines` lines of a text.
std::string Head(const std::string& text, int lines) {
  size_t pos = 0;
  for (int i = 0; i < lines && pos != std::string::npos; ++i) pos = text.find('\n', pos + 1);
  return pos == std::string::npos ? text : text.substr(0, pos + 1);
}

Bytes Pattern(size_t n, uint8_t first, uint8_t step = 7) {
  Bytes v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i * step);
  return v;
}

// The catalogue position of a chip, as the targets number them.
uint16_t ChipIndex(std::string_view name) {
  const auto all = AllCatalogueEntries();
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].chip.ChipName == name) return static_cast<uint16_t>(i);
  std::fprintf(stderr, "no chip %s\n", std::string(name).c_str());
  std::exit(1);
}

ChipSettings Settings(std::string_view name) {
  ChipSettings s = StartupChipSettings();
  std::array<uint8_t, kOptionDataSize> option{};
  SelectChip(s, option, FindChipByName(name)->chip);
  return s;
}

void Records() {
  const std::string demo = Head(ReadSample("demo.hex"), 24) + ":00000001FF\r\n";
  const uint16_t sc92 = ChipIndex("SC92F848x");
  const uint16_t sc95 = ChipIndex("SC95F750x");  // EEP data files from 0
  const ChipSettings sc95s = Settings("SC95F750x");
  const Bytes data = Pattern(80, 0x10);

  Seed().u8(0).u8(0).u16(sc92).text(demo).write("fuzz_hex", "demo-main");
  Seed().u8(1).u8(0).u16(sc95).text(HexText(data, sc95s.EepFileBase, sc95s.EepFileBase, sc95s.EepFileBase + 63))
      .write("fuzz_hex", "eep-file");
  Seed().u8(2).u8(2).u16(sc92)
      .text(":020000040001F9\r\n:0400100001020304E2\r\n:020000021000EC\r\n:0100000600F9\r\n:0400100001020304E3\r\n"
            ":0400000503000000F4\r\n:04001000010203\r\n")
      .write("fuzz_hex", "lines-every-type");
  Seed().u8(3).u8(0).u32(0x1FFC0).u32(0xFFF0).u16(100).bytes(data).write("fuzz_hex", "round-trip-page-edge");
  // Raw windows: flash 0..0xFFFF, option 0x1000000.., EEP 0x2000000..
  Seed().u8(0).u8(1).u16(0xF000).u32(0).u32(0xFFFF).u32(0x1000000).u32(0x10000FF).u32(0x2000000).u32(0x20003FF)
      .text(":020000040100F9\r\n:02000F00ABCD77\r\n:020000040200F8\r\n:0103FF0055A8\r\n:020000040300F7\r\n"
            ":0100000000FF\r\n:00000001FF\r\n")
      .write("fuzz_hex", "raw-windows-option-eep");

  Seed().u8(0).u8(0).u16(sc92).text(SRecordText(data, 0, 0x100, 0x14F)).write("fuzz_srec", "s1-main");
  Seed().u8(1).u8(0).u16(sc95).text(SRecordText(data, sc95s.EepFileBase, sc95s.EepFileBase, sc95s.EepFileBase + 63))
      .write("fuzz_srec", "eep-file");
  Seed().u8(2).u8(3).u16(sc92)
      .text("S00600004844521B\r\nS107001001020304DE\r\nS20800001001020304DD\r\nS3090000001001020304DC\r\n"
            "S107001001020304DF\r\nS40300\r\nS5030001FB\r\nS1020010\r\nS9030000FC\r\n")
      .write("fuzz_srec", "lines-every-type");
  Seed().u8(3).u8(0).u32(0x01000000).u32(0x00FFFFF0).u16(64).bytes(data).write("fuzz_srec", "round-trip-s3");
  Seed().u8(0).u8(0).u16(0xF000).u32(0).u32(0xFFFF).u32(0x1000000).u32(0x10000FF).u32(0x2000000).u32(0x20003FF)
      .text("S30703000000AABB90\r\nS30801000010ABCD61\r\nS107001001020304DE\r\n")
      .write("fuzz_srec", "raw-windows-no-window");
}

void Binary() {
  Seed().u16(256).u32(16).u32(0x100000).bytes(Pattern(300, 1)).write("fuzz_binary", "offset-16");
  Seed().u16(64).u32(static_cast<uint32_t>(-8)).u32(40).bytes(Pattern(100, 9)).write("fuzz_binary", "below-buffer");
}

// A little-endian ELF32 with three program headers: two PT_LOAD segments (one with a .bss tail) and a
// PT_NOTE.
Bytes Elf() {
  Bytes f(52 + 3 * 32, 0);
  auto put16 = [&](size_t at, uint16_t v) { f[at] = static_cast<uint8_t>(v), f[at + 1] = static_cast<uint8_t>(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, static_cast<uint16_t>(v)), put16(at + 2, static_cast<uint16_t>(v >> 16)); };
  f[0] = 0x7F, f[1] = 'E', f[2] = 'L', f[3] = 'F', f[4] = 1, f[5] = 1, f[6] = 1;
  put16(16, 2), put16(18, 40), put32(20, 1), put32(24, 0x41);  // executable, ARM, entry
  put32(28, 52), put16(40, 52), put16(42, 32), put16(44, 3);  // program headers at 52
  const Bytes code = Pattern(64, 0x20), data = Pattern(24, 0x80);
  const uint32_t codeAt = static_cast<uint32_t>(f.size()), dataAt = codeAt + 64;
  struct Ph { uint32_t type, offset, vaddr, paddr, filesz, memsz, flags, align; };
  const Ph ph[3] = {{1, codeAt, 0, 0, 64, 64, 5, 4},
                    {1, dataAt, 0x20000000, 0x4000, 24, 96, 6, 4},
                    {4, dataAt, 0, 0, 8, 8, 4, 4}};
  for (size_t k = 0; k < 3; ++k) {
    const uint32_t v[8] = {ph[k].type, ph[k].offset, ph[k].vaddr, ph[k].paddr, ph[k].filesz, ph[k].memsz, ph[k].flags, ph[k].align};
    for (size_t i = 0; i < 8; ++i) put32(52 + 32 * k + 4 * i, v[i]);
  }
  f.insert(f.end(), code.begin(), code.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A SoC project file as the vendor tool lays it out (the reader's comments name the fields).
Bytes Soc() {
  Bytes f(745, 0x01);
  auto put32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i)); };
  const std::string_view sig = "[SOC_Project]";
  for (size_t i = 0; i < sig.size(); ++i) f[2 * i] = static_cast<uint8_t>(sig[i]), f[2 * i + 1] = 0;
  std::fill_n(f.begin() + 32, 24, 0);
  const std::string name = "SOC8051X", nick = "SX";
  std::copy(name.begin(), name.end(), f.begin() + 32);
  std::copy(nick.begin(), nick.end(), f.begin() + 48);
  put32(80, 0xA5), put32(100, 0x1234), put32(92, 0x11223344), put32(112, 0xFFFF0081);
  f[193] = 0x07, f[194] = 0x02, f[195] = 2;
  put32(196, 0x8000), put32(200, 0x10000), put32(204, 200), put32(208, 0x2E9);
  const Bytes aprom = Pattern(200, 3);
  f.insert(f.end(), aprom.begin(), aprom.end());
  for (size_t area : {20u, 12u}) {
    Bytes block(121, 0x01);
    for (int i = 0; i < 4; ++i) block[37 + i] = static_cast<uint8_t>(area >> (8 * i));
    f.insert(f.end(), block.begin(), block.end());
    const Bytes a = Pattern(area, 5);
    f.insert(f.end(), a.begin(), a.end());
  }
  return f;
}

Bytes Project() {
  RandomSource random(11);
  ChipSettings chip = Settings("KF8F1020SAR");
  auto image = std::make_unique<MemoryImage>();
  image->FillForStartup();
  const Bytes code = Pattern(1500, 0x31, 3);
  std::copy(code.begin(), code.end(), image->FlashImage.begin());
  image->EepImage[0] = 0x5A;
  OperationSettings op;
  op.SerialEnabled = true;
  op.Serial = 0x1000;
  op.SerialAddress = 0x7F0;
  ProjectSetup setup;
  setup.ObjectFileName = "demo.hex";
  const fs::path tmp = fs::temp_directory_path() / "tarvel-seed.pmw";
  SaveProject(tmp, CollectProjectData(chip, *image, op, setup, random), random);
  Bytes file = ReadWholeFile(tmp);
  fs::remove(tmp);
  return file;
}

Bytes Firmware() {
  RandomSource random(5);
  return BuildFirmwareFile(Pattern(1536, 0x44, 13), "V1.10", random);
}

Bytes Frame(const Bytes& packet) {
  Bytes f(2 * packet.size() + 8);
  f.resize(EncodeFrame(packet, f));
  return f;
}

// A reply packet: the echoed header, the payload, a good check word.
Bytes Reply(uint8_t command, const Bytes& payload) {
  Bytes p = {command, 0, 0, 0x53, 0, 0, static_cast<uint8_t>(payload.size()), static_cast<uint8_t>(payload.size() >> 8)};
  p.insert(p.end(), payload.begin(), payload.end());
  const uint16_t check = LinkChecksum(p, 0, static_cast<uint32_t>(p.size() - 1));
  p.push_back(static_cast<uint8_t>(check));
  p.push_back(static_cast<uint8_t>(check >> 8));
  return p;
}

Bytes IdReply(const std::string& text) {
  Bytes p(28, 0);
  p[0] = 0xA3, p[1] = 0xA5, p[2] = 0x35;
  p[6] = static_cast<uint8_t>(text.size());
  p.insert(p.end(), text.begin(), text.end());
  p.push_back(0);
  return p;
}

void Files() {
  Seed().u32(0).bytes(Elf()).write("fuzz_elf", "two-loads-and-a-note");
  Seed().u32(0x100).bytes(Elf()).write("fuzz_elf", "image-offset");
  Seed().bytes(Soc()).write("fuzz_socprj", "options-and-areas");
  Seed().text(ReadSample("demo.ldf")).write("fuzz_ldf", "demo");
  Seed().text("%:Script Data Section Begin\r\nA0 10 0 0 0 \r\nA0,FFFFFFFF,1,2,3,AA,BB\r\n# note\r\n"
              "%:Script Data Section End\r\nA0 1 2 3 G\r\n")
      .write("fuzz_ldf", "count-zero-and-bad-field");

  const Bytes project = Project();
  Seed().u8(3).bytes(project).write("fuzz_project", "small-chip-loaded");
  Seed().u8(0).bytes(project).write("fuzz_project", "small-chip-read-only");

  const Bytes firmware = Firmware();
  Seed().u8(0).bytes(firmware).write("fuzz_firmware_file", "one-block");
  Seed().u8(1).u8(3).bytes(firmware).write("fuzz_firmware_file", "one-block-fixed-up");
  Seed().u8(2).u32(9).u8(5).text("V2.01").bytes(Pattern(1600, 2)).write("fuzz_firmware_file", "round-trip-two-blocks");

  Seed().u8(0).text("Tarvel200 connection settings\r\n[Connection]\r\nTOTDEV=2\r\n"
                    "DEV1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0\r\nDEV2=ttyUSB1\r\n"
                    "dev10 = ttyACM0\r\n[Other]\r\nDEV3=\r\n")
      .write("fuzz_settings", "connection");
  Seed().u8(1).text("[ConfigLog]\r\nEnLog\r\nCustomer\r\nCusDef2\r\nSpcFile=/tmp/line3.log\r\n[EndCfg]\r\n")
      .write("fuzz_settings", "log-customer");
}

void ObjectLoads() {
  const std::string demo = Head(ReadSample("demo.hex"), 24) + ":00000001FF\r\n";
  const uint16_t sc92 = ChipIndex("SC92F848x"), kf8 = ChipIndex("KF8F1020SAR"), sc95 = ChipIndex("SC95F750x");
  const ChipSettings sc95s = Settings("SC95F750x");
  // Kinds as fuzz_object_load numbers them.
  Seed().u16(sc92).u8(0).u32(0).u8(0).text(demo).write("fuzz_object_load", "hex");
  Seed().u16(kf8).u8(1).u32(0).u8(1).text(SRecordText(Pattern(64, 1), 0, 0x7E0, 0x81F)).write("fuzz_object_load", "s19-kf8-config");
  Seed().u16(sc92).u8(4).u32(0).u8(0).bytes(Elf()).write("fuzz_object_load", "elf");
  Seed().u16(sc92).u8(5).u32(0).u8(0).bytes(Soc()).write("fuzz_object_load", "socprj");
  Seed().u16(sc92).u8(6).u32(0x100).u8(1).bytes(Pattern(512, 0)).write("fuzz_object_load", "bin-offset");
  // The first iMOTION chip: its main load is a sectioned firmware file whatever the name.
  uint16_t imotion = 0;
  const auto all = AllCatalogueEntries();
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].chip.VendorIndex == 8) { imotion = static_cast<uint16_t>(i); break; }
  Seed().u16(imotion).u8(7).u32(0).u8(0).text(ReadSample("demo.ldf")).write("fuzz_object_load", "imotion-ldf");
  Seed().u16(sc95).u8(8).u32(0).u8(1).text(HexText(Pattern(64, 3), sc95s.EepFileBase, sc95s.EepFileBase, sc95s.EepFileBase + 63))
      .write("fuzz_object_load", "eep-hex");
  Seed().u16(kf8).u8(12).u32(0).u8(0).bytes(Pattern(700, 1)).write("fuzz_object_load", "boot-data");
}

void Link() {
  const Bytes status = Frame(Reply(0x95, {6, 0}));
  const Bytes escaped = Frame(Reply(0x9B, {0xC0, 0xDB, 0xC0, 0xDB, 1, 2, 3, 0xC0}));
  Bytes stream = {0x11, 0x22};
  stream.insert(stream.end(), status.begin(), status.end());
  stream.insert(stream.end(), escaped.begin(), escaped.end());
  stream.insert(stream.end(), {kSlipEnd, kSlipEnd, 0x01, kSlipEsc, 0x05, kSlipEnd});
  Seed().u8(0).u8(2).u8(3).u8(17).bytes(stream).write("fuzz_channel_link", "chunked-frames");
  Seed().u8(1).u8(1).u8(0).u8(5).bytes(stream).write("fuzz_channel_link", "reset-at-first-frame");
  Seed().u8(2).bytes(Reply(0x55, {0xC0, 0xDB, 0xDC, 0xDD, 0xFF})).write("fuzz_channel_link", "packet-with-escapes");
  Seed().u8(3).u16(16).bytes(escaped).write("fuzz_channel_link", "frame-into-small-buffer");
}

void Replies() {
  // fuzz_replies: chip, operation, settings flags, units, serial, serial address, gain, range start and
  // length, then records (opcodes as fuzz_replies numbers them: 2 status, 3 data, 4 ticks, 7 progress,
  // 8 identify, 9 serve).
  const uint16_t sc92 = ChipIndex("SC92F848x"), sc95 = ChipIndex("SC95F750x");
  const char* names[] = {"download", "auto", "blank-check", "erase", "program", "verify", "write-option",
                         "write-eep", "read-flash", "read-eep", "read-option", "read-checksum", "read-info",
                         "read-range", "firmware-upgrade", "discovery", "offline", "idle"};
  for (uint8_t start = 0; start < std::size(names); ++start) {
    const bool eep = start == 1 || start == 7 || start == 9;
    Seed s;
    s.u16(eep ? sc95 : sc92).u8(start).u8(eep ? 0x07 : 0x06).u8(start % 3).u32(0x100).u32(0x10).u8(1).u32(0x100).u16(64);
    s.u8(0x09).u8(40);                       // serve
    s.u8(0x02).u8(0x10);                     // a status the operation does not expect
    s.u8(0x07).u8(0x40).u8(0).u16(8).u16(64);  // progress
    s.u8(0x08).u8(19).text("Tarvel200IMOT V1.05");
    s.u8(0x03).u16(4096).u8(7);               // a data reply
    s.u8(0x04).u8(250);                      // the watchdog
    s.write("fuzz_replies", names[start]);
  }

  Seed().u8(0).u8(5).text("V1.10").u8(0).bytes(IdReply("Tarvel200IMOT V1.05,build 7")).write("fuzz_discovery", "older-unit");
  Seed().u8(0).u8(0).u8(1).bytes(IdReply("Tarvel200XXX V0.01")).write("fuzz_discovery", "generic-model");
  const std::string id = "Tarvel200IMOT V1.10";
  Seed().u8(1).u8(2).u8(5).text("V1.10")
      .u8(0).u8(0).u8(static_cast<uint8_t>(id.size())).text(id)
      .u8(1).u8(1).u8(7).u8(0x10).u8(0x13).u8(0x34).u8(0x12).u8(0x78).u8(0x56).u8(0)
      .u8(1).u8(2).u8(0)
      .u8(2).u8(1).u8(2).u8(0xF0).u8(6)
      .write("fuzz_discovery", "search-three-units");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s REPOSITORY\n", argv[0]);
    return 2;
  }
  gRoot = argv[1];
  Records();
  Binary();
  Files();
  ObjectLoads();
  Link();
  Replies();
  return 0;
}
