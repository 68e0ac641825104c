// The fuzz body shared by the two record formats (Intel HEX, S-records). The first input byte picks what
// is fuzzed:
//   0: a whole file read into the flash target of a chip, as the main load does;
//   1: a whole file read into the EEP image, as an EEP data file load does;
//   2: each line handed to the line parser on its own, sharing the reader state;
//   3: the writer's text of a buffer read back by the reader, which must give the buffer again.
// Header: mode u8, box answer u8 (the k-th error box is answered Abort, 0 never), windows u16 (a catalogue
// chip, or from 0xF000 up six u32 window bounds that follow), then the text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzChips.h"
#include "FuzzSupport.h"
#include "base/ScriptedDialogService.h"
#include "chips/ObjectLoad.h"
#include "image/RecordRouting.h"

namespace tarvel::fuzz {

inline constexpr uint16_t kRawWindows = 0xF000;

struct RecordSetup {
  AddressWindows windows;
  uint32_t flashBase = 0;
  uint32_t eepFileBase = 0;
};

inline RecordSetup ReadSetup(Input& in) {
  const uint16_t w = in.u16();
  RecordSetup s;
  if (w < kRawWindows) {
    const ChipSettings& c = ChipFor(w).settings;
    s.windows = WindowsOf(c);
    s.flashBase = c.FlashStart;
    s.eepFileBase = c.EepFileBase;
  } else {
    s.windows = {in.u32(), in.u32(), in.u32(), in.u32(), in.u32(), in.u32()};
    s.flashBase = s.windows.FlashStart;
    s.eepFileBase = s.windows.EepStart;
  }
  return s;
}

inline void ScriptAbort(ScriptedDialogService& dialogs, uint8_t abortAt) {
  if (abortAt == 0) return;
  for (int i = 1; i < abortAt; ++i) dialogs.answerBox(Button::OK);
  dialogs.answerBox(Button::Abort);
}

inline MemoryImage& SharedImage() {
  static MemoryImage* image = new MemoryImage();
  return *image;
}

// What a read reports must describe the data it delivered.
inline void CheckReadResult(const RecordReadResult& r) {
  if (r.lowest != 0xFFFFFFFF) Check(r.lowest <= r.highest, "the lowest address read lies above the highest");
}

// Writer, then reader: `data` placed at `base`, written for first..last, read into a buffer covering
// exactly first..last. Bytes outside `data` are written as 0xFF.
template <class Format>
void RoundTrip(Input& in) {
  const uint32_t base = in.u32();
  const uint32_t first = in.u32();
  const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(in.u16() % 6000 + 1, 0x100000000 - first));
  const uint32_t last = first + (length - 1);
  const std::span<const uint8_t> data = in.rest();

  const std::string text = Format::Text(data, base, first, last);
  std::vector<uint8_t> back(length, 0x5A);
  MemoryImage& image = SharedImage();
  RecordTarget target{back, first, AddressWindows{first, last, 1, 0, 1, 0}, &image};
  ScriptedDialogService dialogs;
  const RecordReadResult r = Format::ReadText(text, target, dialogs);
  Check(dialogs.boxes().empty(), "the reader reported an error in the writer's text");
  Check(!r.aborted, "the read of the writer's text was aborted");
  Check(r.lowest == first && r.highest == last, "the range read back differs from the range written");
  uint32_t sum = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const uint32_t index = first + i - base;
    const uint8_t expected = index < data.size() ? data[index] : 0xFF;
    Check(back[i] == expected, "a byte read back differs from the byte written");
    sum += expected;
  }
  Check(r.sum == sum, "the data sum read back differs from the sum of the bytes written");
}

template <class Format>
int FuzzRecords(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t mode = in.u8() % 4;
  const uint8_t abortAt = in.u8();
  if (mode == 3) {
    RoundTrip<Format>(in);
    return 0;
  }
  const RecordSetup setup = ReadSetup(in);
  const std::string_view text = in.restText();
  MemoryImage& image = SharedImage();
  ScriptedDialogService dialogs;
  ScriptAbort(dialogs, abortAt);
  const RecordTarget target = mode == 1 ? RecordTarget{image.EepImage, setup.eepFileBase, setup.windows, &image}
                                        : RecordTarget{image.FlashImage, setup.flashBase, setup.windows, &image};
  if (mode == 2) {
    RecordReaderState state;
    size_t pos = 0;
    while (pos < text.size()) {
      const size_t eol = std::min(text.find('\n', pos), text.size());
      const std::string_view line = text.substr(pos, eol - pos);
      pos = eol + 1;
      if (line.empty()) continue;
      Format::ParseLine(line, state, target, dialogs);
    }
    CheckReadResult(state.result);
    return 0;
  }
  CheckReadResult(Format::ReadText(text, target, dialogs));
  return 0;
}

}  // namespace tarvel::fuzz
