// Decoding \uXXXX escapes (as JSON writes them) into GBK text.
#pragma once

#include <cstdint>

#include "rt/text.h"

namespace web {

rt::Text DecodeUnicodeEscapes(const rt::Text& s);
rt::Text PercentUnescape(const rt::Text& s);
std::int64_t HexToInt64(const rt::Text& digits);

}  // namespace web
