// The run of either program around its main window.
#pragma once

#include "rt/window_template.h"

namespace client {

// Starts the runtime, registers the exit routine, runs the window given by makeWindow
// and ends the runtime; returns the process's exit code.
int RunClientProgram(rt::WindowTemplate (*makeWindow)(), int showCommand);

}  // namespace client
