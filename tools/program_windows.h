// What a driver outside a program finds of its windows: the main window or a message box of
// its process, a box's text, and the control that the form engine made for a unit. Shared by
// tools/window_driver.cpp and the end-to-end tests' driver.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "rt/window_template.h"

namespace program_windows {

// A visible top-level window of the process: a message box when messageBox is set, its main
// window otherwise; null when none shows.
HWND FindTopWindow(DWORD processId, bool messageBox);

// The text of a message box, which is then closed with its OK button.
std::wstring TakeMessageBoxText(HWND box);

// The control of a unit of layout in the window made from it; null when layout has no such
// unit (the window's own unit included).
HWND UnitControl(HWND window, const rt::WindowTemplate& layout, std::uint32_t unitId);

}  // namespace program_windows
