#include "web/text_between.h"

namespace web {
namespace {

rt::Text WithQuotes(const rt::Text& marker) {
  return rt::ReplaceText(marker, "#引号", "\"", 1, -1, true);
}

}  // namespace

rt::Text TextBetween(const rt::Text& text, const rt::Text& left, const rt::Text& right,
                     std::optional<int> start, bool ignoreCase) {
  const rt::Text leftMarker = WithQuotes(left);
  const rt::Text rightMarker = WithQuotes(right);
  int from = rt::FindText(text, leftMarker, start.value_or(1), ignoreCase);
  if (from == -1) return rt::Text();
  from += rt::TextLength(leftMarker);
  // The right marker may begin right after the left one, never inside it.
  const int to = rt::FindText(text, rightMarker, from, ignoreCase);
  if (to == -1) return rt::Text();
  return rt::MiddleText(text, from, to - from);
}

}  // namespace web
