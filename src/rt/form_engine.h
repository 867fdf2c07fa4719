// The form engine: turns a WindowTemplate into a live Win32 window with its units, raises
// the bound events, and answers property reads on the live controls. Every call belongs
// to the thread of the message loop.
#pragma once

#include <windows.h>

#include <cstdint>

#include "rt/text.h"
#include "rt/window_template.h"

namespace rt {

// Creates the window and its units, raises the window's event 0, then shows the window
// with showCommand. A window loaded under an id already live replaces it. Returns the
// window, or null when the platform refuses to create it. When quitWhenClosed is set,
// destroying the window posts the quit message with code 0.
HWND LoadWindow(const WindowTemplate& window, int showCommand, bool quitWhenClosed);

// Destroys the window when it is still live and forgets it.
void UnloadWindow(std::uint32_t windowId);

// Destroys every loaded window; run once after the message loop has ended.
void UnloadAllWindows();

// True once a loaded window has been closed by its user (destroyed), until it is unloaded or
// loaded again; false for a window that is live or was never loaded.
bool WindowClosed(std::uint32_t windowId);

// The live control of a unit (the window itself for its own unit id), or null.
HWND FindUnit(std::uint32_t windowId, std::uint32_t unitId);

// Keyboard navigation of the loaded windows, for every loop that dispatches their messages:
// Tab and Shift+Tab (with Ctrl too) move the focus round the units that take input, in template
// order, and Enter on a button or link clicks it. True when the key was used and is not to be
// dispatched.
bool TranslateFormKey(const MSG& msg);

// Runs the message loop with that navigation until the quit message; returns its code.
int RunMessageLoop();

struct PropertyValue {
  rt::Text text;
  int number = 0;
};

// Property 8: the content of an edit box (or the text of any other unit) as a new GBK text.
// Property 19: the selected index of a combo box from 0 (-1 for none), or a slider's position.
// An unknown window, unit or property gives the empty value.
PropertyValue RtReadProperty(std::uint32_t windowId, std::uint32_t unitId, int property);

// The item data of a combo box's entry (from 0) in any loaded window; -1 when index is
// below 0 or not below the number of entries, or the unit is not a live combo box.
int ComboItemData(std::uint32_t unitId, int index);

// Unit i of a template (the window itself is 0) becomes the control with id
// kFirstControlId + i: WM_COMMAND carries 16 bits, unit ids have 32.
inline constexpr int kFirstControlId = 100;

inline constexpr int kPropertyContent = 8;
inline constexpr int kPropertySelection = 19;

}  // namespace rt
