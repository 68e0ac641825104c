// The state the option dialogs work on, as the main window holds it: the chip settings after a chip was
// confirmed, the images (option data 0xFF from start-up), a log with a fixed clock and a scripted
// dialog service.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/InfoLog.h"
#include "base/ScriptedDialogService.h"
#include "chips/Catalogue.h"
#include "chips/ChipSelectZPN.h"
#include "chips/ChipSettings.h"
#include "image/MemoryImage.h"

namespace tarvel::testing {

struct OptionHost {
  ChipSettings chip = StartupChipSettings();
  std::unique_ptr<MemoryImage> image = std::make_unique<MemoryImage>();
  InfoLog log{[] { return std::string("10:00:00"); }};
  ScriptedDialogService dialogs;

  OptionHost() { image->FillForStartup(); }
  explicit OptionHost(const std::string& name) : OptionHost() { select(name); }

  void select(const std::string& name) {
    auto e = FindChipByName(name);
    ASSERT_TRUE(e) << name;
    SelectChip(chip, image->OptionData, e->chip);
  }
  std::span<uint8_t> option() { return image->OptionData; }
  std::vector<uint8_t> bytes(size_t at, size_t n) const {
    return std::vector<uint8_t>(image->OptionData.begin() + static_cast<std::ptrdiff_t>(at),
                                image->OptionData.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  // Shows the dialog, sets the controls and presses OK (or Cancel), as a user would.
  Button run(ModalDialog& dialog, std::vector<std::pair<std::string, std::string>> controls, Button button = Button::OK) {
    dialogs.answerModal({std::move(controls), button});
    return dialogs.showModal(dialog);
  }
};

}  // namespace tarvel::testing
