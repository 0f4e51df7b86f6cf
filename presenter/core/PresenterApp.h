// The presenter's start-up: one copy per user and display, the data directory, the language, the
// skin, then the main window run modally until it ends.
#pragma once

namespace beamora {

// Runs the presenter; returns the process exit status: 0 when it ran and ended (or another copy
// was brought to the front instead), 1 when its files are missing or the window could not be made.
int RunPresenter(int argc, char** argv);

}  // namespace beamora
