// The main-window model for the fuzz inputs: the scratch directory as its program directory, fake serial
// ports, a manual event loop, scripted dialogs, and a port search that finds nothing (it must never look
// at the machine's real serial ports).
//
// One window serves every input of a process, started afresh for each: a new window per input would cost
// milliseconds in page faults for its 2 MiB image alone. The start-up (FormShow) resets the chip, the
// images, the views and the channels; reset() clears what it leaves.
#pragma once

#include <memory>

#include "FuzzSupport.h"
#include "base/ManualEventLoop.h"
#include "base/ScriptedDialogService.h"
#include "link/SerialPort.h"
#include "ui/GenMainZPN.h"

namespace tarvel::fuzz {

struct Window {
  static Window& shared() {
    static Window* window = new Window();
    return *window;
  }

  ManualEventLoop loop;
  ScriptedDialogService dialogs;
  TGenMFrmZPN w{loop, dialogs, ScratchDir::get().path(), [] { return std::string("00:00:00"); },
                [](EventLoop& l) { return std::make_unique<FakeSerialPort>(l); }};

  // The window as it stands after start-up, with nothing of an earlier input in it.
  void reset() {
    dialogs.clearRecord();
    dialogs.clearAnswers();
    w.Log.Clear();
    w.ObjectFileLoaded = false;
    w.ObjectFileName.clear();
    w.OptionChanged = false;
    w.ChkBoxEEP.checked = false;
    w.FormShow();
  }

  // Asks the grid for a few rows of each view, as a front end showing them would.
  void showViews() const {
    for (const DataView* v : {&w.HexViewer, &w.EEPDataView, &w.CfgDataView}) {
      const int rows = v->rowCount();
      for (int r : {0, 1, rows / 2, rows - 2, rows - 1})
        if (r >= 0 && r < rows) (void)v->Row(r);
    }
  }

 private:
  Window() {
    w.PortPlaces.sysfsRoot = ScratchDir::get().path() / "no-sysfs";
    w.PortPlaces.devRoot = ScratchDir::get().path() / "no-dev";
  }
};

}  // namespace tarvel::fuzz
