#pragma once

#include "ControlSurface.h"
#include "FrmCompare.h"
#include "MainLayouts.h"
#include "RecordingLauncher.h"
#include "RecordingMessageBoxes.h"
#include "TestProgramFolder.h"

#include <memory>

// The main window's handlers over its controls in their initial state, on a
// freshly staged program folder; no display involved.
struct MainWindowHarness {
    MainWindowHarness()
    {
        populate(c, mainWindowLayout());
        form = std::make_unique<FrmCompare>(c, folder.path(), messages, launcher);
    }

    bool load() { return form->Form_Load(); }

    TestProgramFolder folder;
    ControlSurface c;
    RecordingMessageBoxes messages;
    RecordingLauncher launcher;
    std::unique_ptr<FrmCompare> form;
};
