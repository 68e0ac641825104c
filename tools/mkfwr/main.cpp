// tarvel-mkfwr IMAGE VERSION OUT: makes a programmer firmware file from a raw firmware image.
// Exit status: 0 done, 1 the output could not be written, 2 bad arguments or input.
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/Files.h"
#include "base/RandomSource.h"
#include "ops/FirmwareFile.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tarvel-mkfwr IMAGE VERSION OUT\n"
    "  IMAGE    raw firmware of a programmer unit (1 to 98304 bytes)\n"
    "  VERSION  version text: 'V' and at most 7 more characters, for example V1.10\n"
    "  OUT      the firmware file to write (the host looks for TarvelIMOT.FWR beside the program)\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.size() != 3) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string& imagePath = args[0];
  const std::string& version = args[1];
  const std::string& outPath = args[2];

  std::vector<uint8_t> raw;
  try {
    raw = tarvel::ReadWholeFile(imagePath);
  } catch (const tarvel::FileError& e) {
    std::cerr << "tarvel-mkfwr: " << e.what() << "\n";
    return 2;
  }
  std::vector<uint8_t> file;
  try {
    tarvel::RandomSource random;
    file = tarvel::BuildFirmwareFile(raw, version, random);
  } catch (const std::invalid_argument& e) {
    std::cerr << "tarvel-mkfwr: " << e.what() << "\n";
    return 2;
  }
  try {
    tarvel::WriteFileAtomically(outPath, file);
  } catch (const tarvel::FileError& e) {
    std::cerr << "tarvel-mkfwr: " << e.what() << "\n";
    return 1;
  }
  const tarvel::FirmwareFileResult check = tarvel::ParseFirmwareFile(file);
  std::cout << outPath << ": version " << check.version << ", " << raw.size() << " bytes of firmware in "
            << check.blockCount() << (check.blockCount() == 1 ? " block" : " blocks") << "\n";
  return 0;
}
