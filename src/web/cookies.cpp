#include "web/cookies.h"

#include <string>
#include <unordered_set>

namespace web {
namespace {

// The last 8 bytes of an item that deletes its cookie.
const rt::Text kDeletionMarker = "=deleted";

bool IsDeletionMarker(const rt::Text& item) { return rt::RightText(item, 8) == kDeletionMarker; }

// Cuts the final separator off a list built as "item<sep>item<sep>".
rt::Text WithoutLastSeparator(std::string joined, const rt::Text& separator) {
  const rt::Text text(std::move(joined));
  return rt::LeftText(text, rt::TextLength(text) - rt::TextLength(separator));
}

}  // namespace

rt::Text CookieName(const rt::Text& item) {
  const int p = rt::FindText(item, "=");
  return rt::TrimSpaces(p == -1 ? item : rt::LeftText(item, p - 1));
}

bool CookieListHasName(const rt::TextArray& items, const rt::Text& name) {
  for (const rt::Text& item : items) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

int FindTextInArray(const rt::TextArray& items, const rt::Text& sought) {
  for (int number = 1; number <= items.Count(); ++number) {
    if (items.At(number) == sought) return number;
  }
  return -1;
}

// The sets below answer exactly what FindTextInArray and CookieListHasName would answer
// over the growing lists, but in constant time, so that long cookie strings merge in
// linear time.
rt::Text DedupeDelimitedList(const rt::Text& list, const rt::Text& separator) {
  std::unordered_set<std::string> seen;
  std::string out;
  for (const rt::Text& piece : rt::SplitText(list, separator)) {
    if (!seen.insert(piece.str()).second) continue;
    out += piece.str();
    out += separator.str();
  }
  return WithoutLastSeparator(std::move(out), separator);
}

rt::Text MergeCookies(rt::Text& oldCookies, rt::Text& newCookies) {
  oldCookies = rt::RemoveAllSpaces(oldCookies);
  newCookies = rt::RemoveAllSpaces(newCookies);
  const rt::TextArray oldList = rt::SplitText(oldCookies, ";");
  rt::TextArray merged = rt::SplitText(newCookies, ";");

  // A stored item joins only when no item of the growing list has its name yet.
  std::unordered_set<std::string> names;
  for (const rt::Text& item : merged) names.insert(CookieName(item).str());
  for (const rt::Text& item : oldList) {
    if (names.insert(CookieName(item).str()).second) merged.Append(item);
  }

  const rt::Text separator = "; ";
  std::string joined;
  for (const rt::Text& item : merged) {
    if (IsDeletionMarker(item)) continue;
    joined += item.str();
    joined += separator.str();
  }
  oldCookies = DedupeDelimitedList(WithoutLastSeparator(std::move(joined), separator), separator);
  return oldCookies;
}

}  // namespace web
