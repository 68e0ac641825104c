// The option-byte dialogs and reports of the families, chosen by vendor: what "Set Option Byte" opens and
// how option bytes read back from a unit are printed.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "base/DialogService.h"
#include "base/InfoLog.h"
#include "chips/ChipSettings.h"
#include "chips/OptionFields.h"
#include "image/MemoryImage.h"

namespace tarvel {

// The family's option dialog for the chip: nullptr for a vendor without one (2, 4, 7, 8), and for an
// Abov page size that leaves no room for the option bytes.
std::unique_ptr<OptionDialog> MakeOptionDialog(uint8_t vendor, ChipSettings& chip, MemoryImage& image);

struct OptionDialogResult {
  bool shown = false;          // the vendor has a dialog and it was opened
  bool accepted = false;       // closed with OK
  bool optionChanged = false;  // what "Program Option Byte" (CheckBoxOpt) shows now
  // The SC9x dialog sets the captured option-enabled flag itself, so that a command that does not
  // capture the window's settings first programs the option bytes as chosen.
  bool setsOptionEnabled = false;
  bool refreshKf32View = false;     // vendor 5 KF32: refresh the configuration view (before CheckBoxOpt)
  bool refreshOptionView = false;   // every vendor but 5: refresh the option data view
};

// Opens the family's dialog modally. `optionChecked` is CheckBoxOpt before the dialog: a dialog closed
// with Cancel changed nothing, so the result hands it back. With OK the family decides.
// A dialog whose OK throws (HC8AT3541: a password that is not a number) lets the exception through, with
// nothing stored.
OptionDialogResult OpenOptionDialog(uint8_t vendor, ChipSettings& chip, MemoryImage& image, DialogService& dialogs,
                                    bool optionChecked);

// The report of option bytes read back from the unit on `channel` (0-based; printed from 1).
void ReportOptionBytes(uint8_t vendor, const ChipSettings& chip, int channel, std::span<const uint8_t> payload,
                       InfoLog& log);

}  // namespace tarvel
