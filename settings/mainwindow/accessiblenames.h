// The names a screen reader speaks for the main window's controls, all given in one place.
#pragma once

#include "channelcontrols.h"

namespace Ui {
class MainForm;
}

// Edits take the labels beside them; controls without a caption of their own, and the pairs whose
// captions repeat ("Change", "All"), get names that say what they act on.
void NameForScreenReaders(Ui::MainForm &form, const TChannelControls &channels);
