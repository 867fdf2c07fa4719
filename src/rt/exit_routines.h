// Routines the program registers to run once after the message loop has ended.
#pragma once

namespace rt {

using ExitRoutine = void (*)();

void RegisterExitRoutine(ExitRoutine routine);

// Runs the registered routines in the order of registration and forgets them.
void RunExitRoutines();

}  // namespace rt
