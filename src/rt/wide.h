// The runtime's own conversions between program texts (code page 936) and UTF-16 for
// the calls it makes into the system; explicit 936, whatever the system locale.
#pragma once

#include <string>

#include "rt/text.h"

namespace rt {

std::wstring WidenGbk(const Text& s);
Text NarrowToGbk(const wchar_t* s, int units = -1);

}  // namespace rt
