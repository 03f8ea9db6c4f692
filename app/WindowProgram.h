// The desktop program as a function, so that a tool can run the very same program and drive its window.
#pragma once

#include <functional>

namespace twinspotter {

class MainWindow;

/// Answers --help and --version, opens the windows with the locations of the command line and runs the message
/// loop; \p onShown runs once the main window is on screen. Returns the program's exit status.
int runWindowProgram(int argc, char** argv, const std::function<void(MainWindow&)>& onShown = {});

} // namespace twinspotter
