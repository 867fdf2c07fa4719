// Decoding base64 text into bytes, and telling whether a text is what an encoder writes.
#pragma once

#include "rt/text.h"

namespace web {

// Removes blanks (ASCII and full-width), then CR LF pairs: the text as the decoder reads it.
// A text that needs neither is left as it is.
void CleanBase64(rt::Text& encoded);
// Cleans encoded (the caller's variable keeps the cleaned text), then decodes it in groups of
// four, pumping window messages after each group.
rt::ByteSet Base64Decode(rt::Text& encoded, bool trimZeros = false);
rt::ByteSet TrimTrailingZeroBytes(const rt::ByteSet& bytes);

// What an encoder writes: the alphabet, then at most two "=", in whole groups of four. Blanks
// and CR LF pairs, which the decoder takes out, may stand anywhere. Anything else would come
// out as corrupted audio; a text cut inside a group would gain bytes that never arrived.
bool IsWellFormedBase64(const rt::Text& text);

}  // namespace web
