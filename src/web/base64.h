// Decoding base64 text into bytes.
#pragma once

#include "rt/text.h"

namespace web {

// Removes blanks and CR LF pairs from encoded (the caller's variable keeps the cleaned
// text), then decodes it in groups of four, pumping window messages after each group.
rt::ByteSet Base64Decode(rt::Text& encoded, bool trimZeros = false);
rt::ByteSet TrimTrailingZeroBytes(const rt::ByteSet& bytes);

}  // namespace web
