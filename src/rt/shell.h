// The shell's services: well-known folders and opening an address in the default browser.
#pragma once

#include "rt/text.h"

namespace rt {

// The folder numbers that SpecialFolder knows.
inline constexpr int kDesktopFolder = 3;

// kDesktopFolder: the user's desktop directory, ending in a backslash; the empty text when
// the folder is unknown or cannot be obtained.
Text SpecialFolder(int which);

// Opens address with the program the shell associates with it (a browser for a web page).
void OpenWebPage(const Text& address);

}  // namespace rt
