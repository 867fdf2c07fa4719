#include "web/text_between.h"

namespace web {
namespace {

rt::Text WithQuotes(const rt::Text& marker) {
  return rt::ReplaceText(marker, "#引号", "\"", 1, -1, true);
}

struct Span {
  int from = 0;
  int length = 0;
};

// Position and length of the part between the markers; a length of 0 when there is none.
Span FindBetween(const rt::Text& text, const rt::Text& left, const rt::Text& right,
                 std::optional<int> start, bool ignoreCase) {
  const rt::Text leftMarker = WithQuotes(left);
  const rt::Text rightMarker = WithQuotes(right);
  int from = rt::FindText(text, leftMarker, start.value_or(1), ignoreCase);
  if (from == -1) return Span();
  from += rt::TextLength(leftMarker);
  // The right marker may begin right after the left one, never inside it.
  const int to = rt::FindText(text, rightMarker, from, ignoreCase);
  if (to == -1) return Span();
  return Span{from, to - from};
}

}  // namespace

rt::Text TextBetween(const rt::Text& text, const rt::Text& left, const rt::Text& right,
                     std::optional<int> start, bool ignoreCase) {
  const Span span = FindBetween(text, left, right, start, ignoreCase);
  return rt::MiddleText(text, span.from, span.length);
}

bool CutTextBetween(rt::Text& text, const rt::Text& left, const rt::Text& right,
                    std::optional<int> start, bool ignoreCase) {
  const Span span = FindBetween(text, left, right, start, ignoreCase);
  if (span.length <= 0) return false;
  text = rt::MiddleText(std::move(text), span.from, span.length);
  return true;
}

}  // namespace web
