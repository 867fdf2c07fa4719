// Cutting the text between two markers out of a larger text.
#pragma once

#include <optional>

#include "rt/text.h"

namespace web {

// "#引号" in a marker stands for a double quote. Empty when the markers enclose nothing.
rt::Text TextBetween(const rt::Text& text, const rt::Text& left, const rt::Text& right,
                     std::optional<int> start = std::nullopt, bool ignoreCase = false);
// TextBetween in place: text becomes the part between the markers, cut out of its own storage.
// False, with text unchanged, when TextBetween would give the empty text.
bool CutTextBetween(rt::Text& text, const rt::Text& left, const rt::Text& right,
                    std::optional<int> start = std::nullopt, bool ignoreCase = false);

}  // namespace web
