// Percent-encoding for form bodies and query strings.
#pragma once

#include "rt/text.h"

namespace web {

rt::Text UrlEncode(const rt::Text& source, bool keepUnreserved = false, bool utf8 = false);

}  // namespace web
