// Decoding \uXXXX escapes (as JSON writes them) into GBK text.
#pragma once

#include <cstdint>

#include "rt/com_object.h"
#include "rt/text.h"

namespace web {

rt::Text DecodeUnicodeEscapes(const rt::Text& s);
// The statement that DecodeUnicodeEscapes hands the script engine for s: the protected text in
// a one-line function "xx" that returns unescape() of it, as the string the engine receives.
rt::ComVariant ScriptStatement(const rt::Text& s);
// The local decoder: %uXXXX of four hexadecimal digits (not 0000) and %XY of two become their
// character; any other "%" stays as it stands.
rt::Text PercentUnescape(const rt::Text& s);
// The value of up to 16 hexadecimal digits; other bytes count by the same rule, unchecked.
std::int64_t HexToInt64(const rt::Text& digits);

}  // namespace web
