// Raw binary files read at an offset into a buffer. Header: buffer size u16, start index (signed) u32, read
// limit u32; the rest is the file. Every byte up to the limit must be counted and summed, and stored exactly
// where its index lies inside the buffer.
#include <vector>

#include "FuzzSupport.h"
#include "image/RawBinary.h"

using namespace tarvel;
using namespace tarvel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const size_t bufferSize = in.u16();
  const int64_t startIndex = static_cast<int32_t>(in.u32());
  const uint32_t maxLength = in.u32();
  const std::span<const uint8_t> file = in.rest();
  const auto path = ScratchDir::get().write("in.bin", file);

  std::vector<uint8_t> buffer(bufferSize, 0xA5);
  const BinaryReadResult r = ReadBinaryFile(path, buffer, startIndex, maxLength);

  const size_t taken = std::min<size_t>(file.size(), maxLength);
  Check(r.length == taken, "the length read is not the file's length up to the limit");
  uint32_t sum = 0;
  for (size_t i = 0; i < taken; ++i) sum += file[i];
  Check(r.sum == sum, "the sum is not the sum of the bytes read");
  for (size_t k = 0; k < buffer.size(); ++k) {
    const int64_t at = static_cast<int64_t>(k) - startIndex;  // the file byte that belongs here
    const uint8_t expected = at >= 0 && at < static_cast<int64_t>(taken) ? file[static_cast<size_t>(at)] : 0xA5;
    Check(buffer[k] == expected, "a buffer byte is not the file byte of its index");
  }
  return 0;
}
