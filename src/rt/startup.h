// The process's start and end around the main window's message loop.
#pragma once

#include <string>

#include "rt/window_template.h"

namespace rt {

// The directory that holds the running program, ending in a backslash; empty when the
// program's path cannot be had.
std::wstring ProgramDirectory();

// Sets the current directory to the program's directory and initialises OLE; from then on an
// exception that no code handles is a fatal run-time error.
void StartRuntime();

// Loads the main window (it quits the loop when closed), runs the message loop and
// returns the quit message's code; -1 when the window cannot be created.
int RunMainWindow(const WindowTemplate& window, int showCommand);

// Destroys any window left, runs the exit routines, frees the libraries bound by name and
// uninitialises OLE; returns exitCode for the process to end with.
int EndRuntime(int exitCode);

}  // namespace rt
