// Merging the cookies of a reply into the caller's cookie string ("a=1; b=2").
#pragma once

#include "rt/text.h"

namespace web {

// Received items first, then stored items whose names were not received; deletion
// markers and repeated items removed. Both variables are written (see the routine).
rt::Text MergeCookies(rt::Text& oldCookies, rt::Text& newCookies);
rt::Text CookieName(const rt::Text& item);
bool CookieListHasName(const rt::TextArray& items, const rt::Text& name);
int FindTextInArray(const rt::TextArray& items, const rt::Text& sought);
rt::Text DedupeDelimitedList(const rt::Text& list, const rt::Text& separator);

}  // namespace web
